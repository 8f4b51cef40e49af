#include "MemberCompressor.h"

#include "Blake2b.h"
#include "Crc32.h"
#include "File.h"
#include "LzssEncoder.h"
#include "LzssOptimal.h"
#include "MemberCache.h"
#include "Progress.h"
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

// What the workers and the writer share; every field under `mutex`.
struct Pipeline {
    struct Slot {
        std::deque<std::vector<uint8_t>> chunks;
        size_t queued = 0;  // bytes in chunks
        bool done = false;
        MemberCompressor::Sizes sizes;
    };

    explicit Pipeline(size_t members, size_t budget) : slots(members), budget(budget) {}

    std::mutex mutex;
    std::condition_variable data;   // the writer waits for chunks here
    std::condition_variable space;  // workers wait for the budget here
    std::vector<Slot> slots;
    size_t head = 0;    // the member being written
    size_t queued = 0;  // bytes waiting in all slots
    size_t budget;
    bool stop = false;
    std::string error;

    std::atomic<size_t> next{0};
    std::atomic<uint64_t> bytesRead{0};

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

    // Hands a chunk of member k to the writer; false when the build stops.
    // With `last`, the chunk ends the member, whose sizes these are: the
    // writer is woken once for both.
    bool Emit(size_t k, std::vector<uint8_t> chunk, const MemberCompressor::Sizes* last = nullptr)
    {
        std::unique_lock<std::mutex> lock(mutex);
        space.wait(lock, [&] { return stop || (k == head ? slots[k].queued < budget : queued < budget); });
        if (stop)
            return false;
        slots[k].queued += chunk.size();
        queued += chunk.size();
        slots[k].chunks.push_back(std::move(chunk));
        if (last != nullptr) {
            slots[k].done = true;
            slots[k].sizes = *last;
        }
        if (k == head)
            data.notify_one();
        return true;
    }

    void Done(size_t k, MemberCompressor::Sizes sizes)
    {
        std::lock_guard<std::mutex> lock(mutex);
        slots[k].done = true;
        slots[k].sizes = sizes;
        if (k == head)
            data.notify_one();
    }
};

// One worker thread: its own encoder and buffers, one member at a time.
// Encoder: LzssEncoder or LzssOptimal, which share their interface. With a
// cache, a member whose compressed bytes are kept there is copied from it,
// and a member compressed anew is kept for the next build.
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
            const size_t k = pipeline_.next.fetch_add(1);
            if (k >= members_.size())
                return;
            try {
                if (!Compress(k))
                    return;
            } catch (...) {
                pipeline_.Fail("\"" + members_[k].source + "\": " + WorkerCrew::CurrentMessage());
                return;
            }
        }
    }

private:
    bool Compress(size_t k);
    bool Hash(size_t k, File& in, uint8_t (&digest)[32]);
    bool Encode(size_t k, File& in, MemberCache::Writer* keep, Blake2b* hash, MemberCompressor::Sizes* sizes);
    bool EmitKept(size_t k, MemberCache::Entry& entry);

    Pipeline& pipeline_;
    const std::vector<MemberCompressor::Member>& members_;
    const MemberCache* cache_;
    StatIndex* index_;
    bool best_;
    std::unique_ptr<Encoder> encoder_;
    std::vector<uint8_t> input_;
};

std::vector<uint8_t> NewChunk(uint64_t expected)
{
    const uint64_t whole = lzss::CompressBound(static_cast<size_t>(std::min<uint64_t>(expected, kOutputChunk))) +
                           lzss::kMaxGroupSize + 1;
    return std::vector<uint8_t>(static_cast<size_t>(std::min<uint64_t>(whole, kOutputChunk)));
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
    MemberCompressor::Sizes sizes;
    if (cache_ == nullptr) {
        if (!open() || !Encode(k, in, nullptr, nullptr, &sizes))
            return false;
        pipeline_.Done(k, sizes);
        return true;
    }

    // The content's hash names its kept copy: taken from the index while
    // the file's stamp stands, else read from the file.
    uint8_t digest[32];
    StatIndex::Stamp stamp;
    StatIndex::Digest known;
    const bool stamped = index_ != nullptr && StatIndex::StampOf(member.source, &stamp) && stamp.size == member.size;
    if (stamped && index_->Lookup(member.source, stamp, &known)) {
        std::memcpy(digest, known.data(), sizeof digest);
        index_->Record(member.source, stamp, known);
    } else {
        if (!open() || !Hash(k, in, digest))
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
    MemberCache::Entry entry;
    if (cache_->Find(key, member.size, &entry))
        return EmitKept(k, entry);
    if (in.IsOpen() ? !in.Seek(0, SEEK_SET) : !open()) {
        if (in.IsOpen())
            pipeline_.Fail("\"" + member.source + "\": read error");
        return false;
    }
    MemberCache::Writer keep(*cache_, key);
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
    pipeline_.Done(k, sizes);
    return true;
}

template <class Encoder>
bool Worker<Encoder>::Hash(size_t k, File& in, uint8_t (&digest)[32])
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
        if (got < input_.size())
            break;
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
    const MemberCompressor::Sizes sizes = {static_cast<uint32_t>(member.size), static_cast<uint32_t>(entry.packedSize),
                                           entry.crc};
    if (entry.whole && !entry.bytes.empty()) {
        pipeline_.bytesRead.fetch_add(member.size, std::memory_order_relaxed);
        return pipeline_.Emit(k, std::move(entry.bytes), &sizes);
    }
    if (!entry.whole) {
        // Summed again as it is copied: what reaches the setup is what was checked.
        uint32_t crc = 0;
        uint64_t left = entry.packedSize;
        while (left > 0) {
            std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(left, kOutputChunk)));
            if (entry.file.Read(chunk.data(), chunk.size()) != chunk.size()) {
                pipeline_.Fail("\"" + member.source + "\": its kept compressed copy could not be read; build again");
                return false;
            }
            crc = Crc32(chunk.data(), chunk.size(), crc);
            left -= chunk.size();
            if (!pipeline_.Emit(k, std::move(chunk)))
                return false;
        }
        if (crc != entry.crc) {
            pipeline_.Fail("\"" + member.source +
                           "\": its kept compressed copy changed while it was read; build again");
            return false;
        }
    }
    pipeline_.bytesRead.fetch_add(member.size, std::memory_order_relaxed);
    pipeline_.Done(k, sizes);
    return true;
}

template <class Encoder>
bool Worker<Encoder>::Encode(size_t k, File& in, MemberCache::Writer* keep, Blake2b* hash,
                             MemberCompressor::Sizes* sizes)
{
    const MemberCompressor::Member& member = members_[k];
    Encoder& encoder = *encoder_;
    encoder.Reset();
    std::vector<uint8_t> chunk = NewChunk(member.size);
    size_t used = 0;
    size_t held = 0;
    uint64_t total = 0;
    uint32_t crc = 0;  // summed here, while the bytes are in memory anyway
    bool eof = false;
    const auto emit = [&]() {
        chunk.resize(used);
        crc = Crc32(chunk.data(), chunk.size(), crc);
        if (keep != nullptr)
            keep->Append(chunk.data(), chunk.size());
        return pipeline_.Emit(k, std::move(chunk));
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
            if (chunk.size() - used < lzss::kMaxGroupSize) {
                if (!emit())
                    return false;
                chunk = NewChunk(member.size - std::min(member.size, total));
                used = 0;
            }
            size_t consumed = 0;
            used += encoder.Encode(input_.data() + offset, held - offset, eof, chunk.data() + used, chunk.size() - used,
                                   &consumed);
            offset += consumed;
            if (encoder.Finished() || chunk.size() - used >= lzss::kMaxGroupSize)
                break;
        }
        held -= offset;
        std::memmove(input_.data(), input_.data() + offset, held);
    }
    if (total != member.size) {
        pipeline_.Fail("\"" + member.source + "\" changed size while the setup was being built");
        return false;
    }
    if (encoder.BytesOut() > kMaxSize) {
        pipeline_.Fail("\"" + member.source + "\" compresses to " + std::to_string(encoder.BytesOut()) +
                       " bytes; the script holds sizes up to 4294967295 bytes");
        return false;
    }
    if (used > 0 && !emit())
        return false;
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

std::vector<uint8_t> MemberCompressor::Pack(const std::vector<uint8_t>& bytes) const
{
    const auto compress = [&]() {
        std::vector<uint8_t> packed(lzss::CompressBound(bytes.size()));
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
                                                           Progress& progress)
{
    std::vector<Sizes> sizes(members.size());
    Pipeline pipeline(members.size(), memoryBudget_);
    Crew crew(pipeline);
    const unsigned workers = static_cast<unsigned>(std::min<size_t>(threads_, members.size()));
    if (best_)
        crew.Start<LzssOptimal>(workers, members, cache_, index_, best_);
    else
        crew.Start<LzssEncoder>(workers, members, cache_, index_, best_);

    // Small members' chunks are gathered into large writes.
    std::vector<uint8_t> pending;
    pending.reserve(kWriteBlock);
    const auto flush = [&out, &pending] {
        const bool written = out.Write(pending.data(), pending.size());
        pending.clear();
        if (!written)
            throw ToolError("cannot write the setup (disk full?)");
    };

    std::unique_lock<std::mutex> lock(pipeline.mutex);
    for (size_t k = 0; k < members.size(); ++k) {
        pipeline.head = k;
        pipeline.space.notify_all();
        Pipeline::Slot& slot = pipeline.slots[k];
        for (;;) {
            pipeline.data.wait_for(lock, std::chrono::milliseconds(100),
                                   [&] { return pipeline.stop || !slot.chunks.empty() || slot.done; });
            if (pipeline.stop)
                throw ToolError(pipeline.error.empty() ? std::string("out of memory") : pipeline.error);
            if (!slot.chunks.empty()) {
                std::vector<uint8_t> chunk = std::move(slot.chunks.front());
                slot.chunks.pop_front();
                slot.queued -= chunk.size();
                pipeline.queued -= chunk.size();
                pipeline.space.notify_all();
                lock.unlock();
                if (pending.size() + chunk.size() > kWriteBlock)
                    flush();
                if (chunk.size() >= kWriteBlock) {
                    if (!out.Write(chunk.data(), chunk.size()))
                        throw ToolError("cannot write the setup (disk full?)");
                } else {
                    pending.insert(pending.end(), chunk.begin(), chunk.end());
                }
                progress.Update(k, pipeline.bytesRead.load(std::memory_order_relaxed));
                lock.lock();
                continue;
            }
            if (slot.done)
                break;
            lock.unlock();
            progress.Update(k, pipeline.bytesRead.load(std::memory_order_relaxed));
            lock.lock();
        }
        sizes[k] = slot.sizes;
    }
    lock.unlock();
    flush();
    return sizes;
}
