#include "MemberCompressor.h"

#include "Blake2b.h"
#include "Crc32.h"
#include "File.h"
#include "LzssEncoder.h"
#include "LzssOptimal.h"
#include "MemberCache.h"
#include "Progress.h"
#include "ScriptPacker.h"
#include "StatIndex.h"
#include "ToolError.h"
#include "WorkerCrew.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr size_t kInputBlock = size_t(1) << 20;
constexpr size_t kOutputChunk = size_t(1) << 20;
constexpr size_t kWriteBlock = size_t(1) << 20;
constexpr uint64_t kMaxSize = std::numeric_limits<uint32_t>::max();
// Small members travel in batches: one hand-over to the writer moves many,
// instead of waking it once per file.
constexpr uint64_t kBatchBytes = uint64_t(256) << 10;
constexpr size_t kBatchMembers = 64;

// Consecutive members, compressed by one worker and handed over together.
struct Batch {
    size_t first = 0;
    size_t end = 0;  // one past the last
    uint64_t bytes = 0;
};

std::vector<Batch> MakeBatches(const std::vector<MemberCompressor::Member>& members)
{
    std::vector<Batch> batches;
    for (size_t k = 0; k < members.size(); ++k) {
        const uint64_t size = members[k].size;
        if (batches.empty() || batches.back().end - batches.back().first >= kBatchMembers ||
            batches.back().bytes + size > kBatchBytes)
            batches.push_back({k, k, 0});
        batches.back().end = k + 1;
        batches.back().bytes += size;
    }
    return batches;
}

// What the workers and the writer share; every field under `mutex`, but
// `sizes`, which a worker fills for its batch before the batch is done.
struct Pipeline {
    // Bytes for the setup, or, when `file` is open, `length` bytes of that
    // kept entry from `offset`, which the writer copies in from the file.
    struct Piece {
        std::vector<uint8_t> bytes;
        File file;
        uint64_t offset = 0;
        uint64_t length = 0;
    };
    struct Slot {
        std::deque<Piece> chunks;
        size_t queued = 0;  // bytes in chunks
        bool done = false;
    };
    // Kept entries waiting as open files, at most: each holds a descriptor.
    static constexpr size_t kMaxFiles = 32;

    Pipeline(std::vector<Batch> batches, size_t members, size_t budget)
        : batches(std::move(batches)), slots(this->batches.size()), sizes(members), budget(budget)
    {
    }

    const std::vector<Batch> batches;
    std::mutex mutex;
    std::condition_variable data;                // the writer waits for chunks here
    std::condition_variable space;               // workers wait for the budget here
    std::vector<Slot> slots;                     // one per batch
    std::vector<MemberCompressor::Sizes> sizes;  // one per member
    size_t head = 0;                             // the batch being written
    size_t queued = 0;                           // bytes waiting in all slots
    size_t files = 0;                            // pieces waiting as open files
    size_t budget;
    bool stop = false;
    std::string error;
    // Chunks the writer is done with, for the workers to fill again: fresh
    // memory costs a page fault per page, and small members use many chunks.
    std::vector<std::vector<uint8_t>> spares;
    static constexpr size_t kMaxSpares = 8;

    // A chunk of `size` bytes, a spare one when there is.
    std::vector<uint8_t> TakeChunk(size_t size)
    {
        std::vector<uint8_t> chunk;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!spares.empty()) {
                chunk = std::move(spares.back());
                spares.pop_back();
            }
        }
        chunk.resize(size);
        return chunk;
    }

    // Called with `mutex` held.
    void GiveBack(std::vector<uint8_t> chunk)
    {
        if (spares.size() < kMaxSpares && chunk.capacity() > 0 && chunk.capacity() <= kOutputChunk)
            spares.push_back(std::move(chunk));
    }

    std::atomic<size_t> next{0};  // the next batch to take
    std::atomic<uint64_t> bytesRead{0};
    std::atomic<size_t> encoded{0};  // members compressed, not found kept

    // The first failure stops the build; its message is what the writer
    // reports. Called by workers, also while memory is exhausted: stopping
    // comes first, as it needs none.
    void Fail(const std::string& message)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!stop) {
                stop = true;
                try {
                    error = message;
                } catch (...) {
                    error.clear();
                }
            }
        }
        data.notify_all();
        space.notify_all();
    }

    // Hands a chunk of batch b to the writer (an empty one is dropped);
    // false when the build stops. With `last`, the batch is done: the
    // writer is woken once for both.
    bool Emit(size_t b, std::vector<uint8_t> chunk, bool last)
    {
        std::unique_lock<std::mutex> lock(mutex);
        space.wait(lock, [&] { return stop || (b == head ? slots[b].queued < budget : queued < budget); });
        if (stop)
            return false;
        if (!chunk.empty()) {
            slots[b].queued += chunk.size();
            queued += chunk.size();
            slots[b].chunks.push_back(Piece{std::move(chunk), File(), 0, 0});
        }
        slots[b].done = last;
        if (b == head)
            data.notify_one();
        return true;
    }

    // Hands `length` bytes of an open kept entry from `offset` to the
    // writer, as Emit does bytes.
    bool EmitFile(size_t b, File file, uint64_t offset, uint64_t length)
    {
        std::unique_lock<std::mutex> lock(mutex);
        space.wait(lock, [&] { return stop || b == head || files < kMaxFiles; });
        if (stop)
            return false;
        ++files;
        slots[b].chunks.push_back(Piece{std::vector<uint8_t>(), std::move(file), offset, length});
        if (b == head)
            data.notify_one();
        return true;
    }
};

// One worker thread: its own encoder and buffers, one batch at a time, its
// members one after another into shared chunks. Encoder: LzssEncoder or
// LzssOptimal, which share their interface. With a cache, a member whose
// compressed bytes are kept there is copied from it, and a member
// compressed anew is kept for the next build.
template <class Encoder>
class Worker {
public:
    Worker(Pipeline& pipeline, const std::vector<MemberCompressor::Member>& members, const MemberCache* cache,
           StatIndex* index, bool best)
        : pipeline_(pipeline), members_(members), cache_(cache), index_(index), best_(best),
          encoder_(std::make_unique<Encoder>()), input_(kInputBlock + lzss::kMaxMatch)
    {
    }

    void operator()()
    {
        for (;;) {
            const size_t b = pipeline_.next.fetch_add(1);
            if (b >= pipeline_.batches.size())
                return;
            const Batch& batch = pipeline_.batches[b];
            batch_ = b;
            left_ = batch.bytes;
            for (size_t k = batch.first; k < batch.end; ++k) {
                try {
                    if (!Compress(k))
                        return;
                } catch (...) {
                    pipeline_.Fail("\"" + members_[k].source + "\": " + WorkerCrew::CurrentMessage());
                    return;
                }
                left_ -= members_[k].size;
            }
            if (!HandOver(true))
                return;
        }
    }

private:
    bool Compress(size_t k);
    // Hashes the member's content; *whole tells whether all of it is in
    // input_ afterwards (it fits one reading).
    bool Hash(size_t k, File& in, uint8_t (&digest)[32], bool* whole);
    // Compresses the member from `in`, or, with `whole`, from input_, which
    // then holds all of it.
    bool Encode(size_t k, File& in, MemberCache::Writer* keep, Blake2b* hash, MemberCompressor::Sizes* sizes,
                bool whole = false);
    bool EmitKept(size_t k, MemberCache::Entry& entry);
    // Makes room for `need` bytes in the chunk, handing the full one over;
    // `expected`: the bytes of the batch still to come, to size a new one.
    bool Room(size_t need, uint64_t expected);
    // Hands the chunk, as far as it is filled, to the writer; `last` ends
    // the batch. False when the build stops.
    bool HandOver(bool last);

    Pipeline& pipeline_;
    const std::vector<MemberCompressor::Member>& members_;
    const MemberCache* cache_;
    StatIndex* index_;
    bool best_;
    std::unique_ptr<Encoder> encoder_;
    std::vector<uint8_t> input_;
    MemberCache::Entry entry_;  // reused, so that its buffer is
    size_t batch_ = 0;
    uint64_t left_ = 0;  // original bytes of the batch from the member at hand on
    std::vector<uint8_t> chunk_;
    size_t used_ = 0;  // bytes of chunk_ filled
};

// The size of a chunk for `expected` more bytes of input.
size_t ChunkSize(uint64_t expected)
{
    const uint64_t whole = lzss::CompressBound(static_cast<size_t>(std::min<uint64_t>(expected, kOutputChunk))) +
                           lzss::kMaxGroupSize + 1;
    return static_cast<size_t>(std::min<uint64_t>(whole, kOutputChunk));
}

template <class Encoder>
bool Worker<Encoder>::HandOver(bool last)
{
    chunk_.resize(used_);
    used_ = 0;
    const bool handed = pipeline_.Emit(batch_, std::move(chunk_), last);
    chunk_ = std::vector<uint8_t>();
    return handed;
}

template <class Encoder>
bool Worker<Encoder>::Room(size_t need, uint64_t expected)
{
    if (chunk_.size() - used_ >= need)
        return true;
    if (used_ > 0 && !HandOver(false))
        return false;
    chunk_ = pipeline_.TakeChunk(ChunkSize(std::max<uint64_t>(expected, need)));
    return true;
}

template <class Encoder>
bool Worker<Encoder>::Compress(size_t k)
{
    const MemberCompressor::Member& member = members_[k];
    File in;
    const auto open = [&]() {
        in = File(member.source.c_str(), "rb");
        if (!in.IsOpen())
            pipeline_.Fail("\"" + member.source + "\": cannot open it for reading");
        return in.IsOpen();
    };
    MemberCompressor::Sizes& sizes = pipeline_.sizes[k];
    if (cache_ == nullptr)
        return open() && Encode(k, in, nullptr, nullptr, &sizes);

    // The content's hash names its kept copy: taken from the index while
    // the file's stamp stands, else read from the file.
    uint8_t digest[32];
    bool whole = false;
    StatIndex::Stamp stamp = member.stamp;
    StatIndex::Digest known;
    const bool stamped = index_ != nullptr && (member.stamped || StatIndex::StampOf(member.source, &stamp)) &&
                         stamp.size == member.size;
    if (stamped && index_->Lookup(member.source, stamp, &known)) {
        std::memcpy(digest, known.data(), sizeof digest);
        index_->Record(member.source, stamp, known);
    } else {
        if (!open() || !Hash(k, in, digest, &whole))
            return false;
        // Recorded only for a file that stood still while it was read.
        StatIndex::Stamp after;
        if (stamped && StatIndex::StampOf(member.source, &after) && after == stamp) {
            std::memcpy(known.data(), digest, sizeof digest);
            index_->Record(member.source, stamp, known);
        } else if (index_ != nullptr) {
            index_->Forget(member.source);
        }
    }
    const MemberCache::Key key = MemberCache::MakeKey(digest, member.size, best_);
    if (cache_->Find(key, member.size, &entry_))
        return EmitKept(k, entry_);
    if (whole) {
        // Compressed from the very bytes that were hashed: no second reading,
        // and nothing it could have missed.
        MemberCache::Writer keep(*cache_, key, member.size);
        if (!Encode(k, in, &keep, nullptr, &sizes, true))
            return false;
        keep.Commit(sizes.original, sizes.packed, sizes.crc);
        return true;
    }
    if (in.IsOpen() ? !in.Seek(0, SEEK_SET) : !open()) {
        if (in.IsOpen())
            pipeline_.Fail("\"" + member.source + "\": read error");
        return false;
    }
    MemberCache::Writer keep(*cache_, key, member.size);
    Blake2b again(32);
    if (!Encode(k, in, &keep, &again, &sizes))
        return false;
    // Kept only for the content that was hashed: a file rewritten between
    // the two readings must not leave its new bytes under the old key, nor
    // the index the old hash.
    uint8_t second[32];
    again.Final(second);
    if (std::memcmp(digest, second, sizeof digest) == 0)
        keep.Commit(sizes.original, sizes.packed, sizes.crc);
    else if (index_ != nullptr)
        index_->Forget(member.source);
    return true;
}

template <class Encoder>
bool Worker<Encoder>::Hash(size_t k, File& in, uint8_t (&digest)[32], bool* whole)
{
    const MemberCompressor::Member& member = members_[k];
    Blake2b hash(32);
    uint64_t total = 0;
    for (;;) {
        const size_t got = in.Read(input_.data(), input_.size());
        if (got < input_.size() && in.Failed()) {
            pipeline_.Fail("\"" + member.source + "\": read error");
            return false;
        }
        hash.Update(input_.data(), got);
        total += got;
        if (total > member.size) {
            pipeline_.Fail("\"" + member.source + "\" grew while the setup was being built");
            return false;
        }
        if (got < input_.size()) {
            *whole = total == got;
            break;
        }
    }
    if (total != member.size) {
        pipeline_.Fail("\"" + member.source + "\" changed size while the setup was being built");
        return false;
    }
    hash.Final(digest);
    return true;
}

template <class Encoder>
bool Worker<Encoder>::EmitKept(size_t k, MemberCache::Entry& entry)
{
    const MemberCompressor::Member& member = members_[k];
    if (entry.packedSize > kMaxSize) {
        pipeline_.Fail("\"" + member.source + "\" compresses to " + std::to_string(entry.packedSize) +
                       " bytes; the script holds sizes up to 4294967295 bytes");
        return false;
    }
    pipeline_.sizes[k] = {static_cast<uint32_t>(member.size), static_cast<uint32_t>(entry.packedSize), entry.crc};
    if (entry.whole) {
        const size_t n = entry.bytes.size();
        if (!Room(std::min(n, kOutputChunk), left_))
            return false;
        if (n <= chunk_.size() - used_) {
            std::memcpy(chunk_.data() + used_, entry.bytes.data(), n);
            used_ += n;
        } else {
            // Larger than a chunk: handed over as it was read.
            if (!HandOver(false) || !pipeline_.Emit(batch_, std::move(entry.bytes), false))
                return false;
        }
        pipeline_.bytesRead.fetch_add(member.size, std::memory_order_relaxed);
        return true;
    }
    // Copied in by the writer straight from the entry's file, which Find
    // has summed whole: the file stays open, and kept entries are only ever
    // replaced by a rename, never changed in place.
    const int64_t at = entry.file.Tell();
    if (at < 0) {
        pipeline_.Fail("\"" + member.source + "\": its kept compressed copy could not be read; build again");
        return false;
    }
    if (used_ > 0 && !HandOver(false))
        return false;
    if (!pipeline_.EmitFile(batch_, std::move(entry.file), static_cast<uint64_t>(at), entry.packedSize))
        return false;
    pipeline_.bytesRead.fetch_add(member.size, std::memory_order_relaxed);
    return true;
}

template <class Encoder>
bool Worker<Encoder>::Encode(size_t k, File& in, MemberCache::Writer* keep, Blake2b* hash,
                             MemberCompressor::Sizes* sizes, bool whole)
{
    const MemberCompressor::Member& member = members_[k];
    Encoder& encoder = *encoder_;
    encoder.Reset();
    pipeline_.encoded.fetch_add(1, std::memory_order_relaxed);
    size_t held = whole ? static_cast<size_t>(member.size) : 0;
    uint64_t total = held;
    uint32_t crc = 0;  // summed here, while the bytes are in memory anyway
    bool eof = whole;
    if (whole)
        pipeline_.bytesRead.fetch_add(held, std::memory_order_relaxed);
    size_t from = used_;  // where this member's bytes not yet summed begin
    // Sums and keeps what the member added to the chunk, before it goes.
    const auto settle = [&]() {
        crc = Crc32(chunk_.data() + from, used_ - from, crc);
        if (keep != nullptr)
            keep->Append(chunk_.data() + from, used_ - from);
        from = used_;
    };
    while (!encoder.Finished()) {
        if (!eof) {
            const size_t want = input_.size() - held;
            const size_t got = in.Read(input_.data() + held, want);
            if (got < want) {
                if (in.Failed()) {
                    pipeline_.Fail("\"" + member.source + "\": read error");
                    return false;
                }
                eof = true;
            }
            if (hash != nullptr)
                hash->Update(input_.data() + held, got);
            held += got;
            total += got;
            pipeline_.bytesRead.fetch_add(got, std::memory_order_relaxed);
            if (total > member.size) {
                pipeline_.Fail("\"" + member.source + "\" grew while the setup was being built");
                return false;
            }
        }
        size_t offset = 0;
        for (;;) {
            if (chunk_.size() - used_ < lzss::kMaxGroupSize) {
                settle();
                if (!Room(lzss::kMaxGroupSize, left_ - std::min(left_, total)))
                    return false;
                from = used_;
            }
            size_t consumed = 0;
            used_ += encoder.Encode(input_.data() + offset, held - offset, eof, chunk_.data() + used_,
                                    chunk_.size() - used_, &consumed);
            offset += consumed;
            if (encoder.Finished() || chunk_.size() - used_ >= lzss::kMaxGroupSize)
                break;
        }
        held -= offset;
        std::memmove(input_.data(), input_.data() + offset, held);
    }
    settle();
    if (total != member.size) {
        pipeline_.Fail("\"" + member.source + "\" changed size while the setup was being built");
        return false;
    }
    if (encoder.BytesOut() > kMaxSize) {
        pipeline_.Fail("\"" + member.source + "\" compresses to " + std::to_string(encoder.BytesOut()) +
                       " bytes; the script holds sizes up to 4294967295 bytes");
        return false;
    }
    *sizes = {static_cast<uint32_t>(total), static_cast<uint32_t>(encoder.BytesOut()), crc};
    return true;
}

// Stops and joins the workers however the writer leaves; whatever escapes
// a worker stops the build with its message.
class Crew {
public:
    explicit Crew(Pipeline& pipeline)
        : pipeline_(pipeline), workers_([&pipeline](const std::string& message) { pipeline.Fail(message); })
    {
    }
    ~Crew()
    {
        {
            std::lock_guard<std::mutex> lock(pipeline_.mutex);
            pipeline_.stop = true;
        }
        pipeline_.space.notify_all();
        workers_.Join();
    }
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;

    template <class Encoder>
    void Start(unsigned count, const std::vector<MemberCompressor::Member>& members, const MemberCache* cache,
               StatIndex* index, bool best)
    {
        for (unsigned i = 0; i < count; ++i)
            workers_.Start(Worker<Encoder>(pipeline_, members, cache, index, best));
    }

private:
    Pipeline& pipeline_;
    WorkerCrew workers_;
};

}  // namespace

MemberCompressor::MemberCompressor(unsigned threads, size_t memoryBudget, bool best, const MemberCache* cache,
                                   StatIndex* index)
    : threads_(std::max(1u, threads)), memoryBudget_(std::max<size_t>(memoryBudget, 1)), best_(best), cache_(cache),
      index_(cache != nullptr ? index : nullptr)
{
}

std::vector<uint8_t> MemberCompressor::Pack(const std::vector<uint8_t>& bytes, ScriptPacker* script) const
{
    const auto compress = [&]() {
        std::vector<uint8_t> packed;
        if (!best_ && script != nullptr && script->Finish(&packed))
            return packed;
        packed.resize(lzss::CompressBound(bytes.size()));
        const size_t n = best_ ? lzss::CompressBest(bytes.data(), bytes.size(), packed.data(), packed.size())
                               : lzss::Compress(bytes.data(), bytes.size(), packed.data(), packed.size());
        packed.resize(n);
        return packed;
    };
    if (cache_ == nullptr)
        return compress();
    // The script is kept like a member: a rebuild of the same files finds it.
    Blake2b hash(32);
    hash.Update(bytes.data(), bytes.size());
    uint8_t digest[32];
    hash.Final(digest);
    const MemberCache::Key key = MemberCache::MakeKey(digest, bytes.size(), best_);
    MemberCache::Entry entry;
    if (cache_->Find(key, bytes.size(), &entry) && entry.whole)
        return std::move(entry.bytes);
    std::vector<uint8_t> packed = compress();
    MemberCache::Writer keep(*cache_, key);
    keep.Append(packed.data(), packed.size());
    keep.Commit(bytes.size(), packed.size(), Crc32(packed.data(), packed.size()));
    return packed;
}

std::vector<MemberCompressor::Sizes> MemberCompressor::Run(const std::vector<Member>& members, File& out,
                                                           Progress& progress, ScriptPacker* script)
{
    Pipeline pipeline(MakeBatches(members), members.size(), memoryBudget_);
    Crew crew(pipeline);
    const unsigned workers = static_cast<unsigned>(std::min<size_t>(threads_, pipeline.batches.size()));
    if (best_)
        crew.Start<LzssOptimal>(workers, members, cache_, index_, best_);
    else
        crew.Start<LzssEncoder>(workers, members, cache_, index_, best_);

    // Small chunks are gathered into large writes; a batch's come large.
    std::vector<uint8_t> pending;
    pending.reserve(kWriteBlock);
    const auto flush = [&out, &pending] {
        const bool written = out.Write(pending.data(), pending.size());
        pending.clear();
        if (!written)
            throw ToolError("cannot write the setup (disk full?)");
    };

    std::unique_lock<std::mutex> lock(pipeline.mutex);
    for (size_t b = 0; b < pipeline.batches.size(); ++b) {
        pipeline.head = b;
        pipeline.space.notify_all();
        Pipeline::Slot& slot = pipeline.slots[b];
        const size_t k = pipeline.batches[b].first;
        const auto ready = [&] { return pipeline.stop || !slot.chunks.empty() || slot.done; };
        for (;;) {
            if (script != nullptr && !ready() && pipeline.encoded.load(std::memory_order_relaxed) > 0) {
                lock.unlock();
                const bool worked = script->Step();
                lock.lock();
                if (worked)
                    continue;
            }
            pipeline.data.wait_for(lock, std::chrono::milliseconds(100), ready);
            if (pipeline.stop)
                throw ToolError(pipeline.error.empty() ? std::string("out of memory") : pipeline.error);
            if (!slot.chunks.empty() && slot.chunks.front().file.IsOpen()) {
                Pipeline::Piece piece = std::move(slot.chunks.front());
                slot.chunks.pop_front();
                lock.unlock();
                flush();
                if (!out.CopyFrom(piece.file, piece.offset, piece.length))
                    throw ToolError("cannot copy a kept compressed member into the setup (disk full?)");
                piece.file.Close();
                progress.Update(k, pipeline.bytesRead.load(std::memory_order_relaxed));
                lock.lock();
                --pipeline.files;
                pipeline.space.notify_all();
                continue;
            }
            if (!slot.chunks.empty()) {
                std::vector<uint8_t> chunk = std::move(slot.chunks.front().bytes);
                slot.chunks.pop_front();
                slot.queued -= chunk.size();
                pipeline.queued -= chunk.size();
                pipeline.space.notify_all();
                lock.unlock();
                const bool large = chunk.size() >= kWriteBlock / 8;
                if (large || pending.size() + chunk.size() > kWriteBlock)
                    flush();
                if (large) {
                    if (!out.Write(chunk.data(), chunk.size()))
                        throw ToolError("cannot write the setup (disk full?)");
                } else {
                    pending.insert(pending.end(), chunk.begin(), chunk.end());
                }
                progress.Update(k, pipeline.bytesRead.load(std::memory_order_relaxed));
                lock.lock();
                pipeline.GiveBack(std::move(chunk));
                continue;
            }
            if (slot.done) {
                if (script != nullptr) {
                    // The batch's sizes were filled before it was done.
                    lock.unlock();
                    for (size_t m = k; m < pipeline.batches[b].end; ++m)
                        script->Known(m, pipeline.sizes[m].packed);
                    lock.lock();
                }
                break;
            }
            lock.unlock();
            progress.Update(k, pipeline.bytesRead.load(std::memory_order_relaxed));
            lock.lock();
        }
    }
    lock.unlock();
    flush();
    return std::move(pipeline.sizes);
}
