// The compressed members kept between builds: a build that finds them gives
// the very setup a build without them gives, damaged entries are noticed and
// made anew, the oldest used are dropped first, and builds may share the
// folder. Also the content hash that names the entries.
#include "Blake2b.h"
#include "CheckedBuild.h"
#include "Crc32.h"
#include "EntryPack.h"
#include "Lzss.h"
#include "MemberCache.h"
#include "PackScratch.h"
#include "ProjectFile.h"
#include "SetupArchive.h"
#include "SetupCheck.h"
#include "SetupWriter.h"
#include "StatIndex.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string HexOf(const uint8_t* bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string Digest(const std::vector<uint8_t>& bytes, size_t size, const std::vector<size_t>& pieces = {})
{
    Blake2b hash(size);
    size_t at = 0;
    for (size_t piece : pieces) {
        hash.Update(bytes.data() + at, piece);
        at += piece;
    }
    hash.Update(bytes.data() + at, bytes.size() - at);
    uint8_t digest[Blake2b::kMaxDigest];
    hash.Final(digest);
    return HexOf(digest, size);
}

TEST(Blake2b, KnownDigestsWhateverTheInputIsCutInto)
{
    EXPECT_EQ(Digest(testdata::Bytes("abc"), 64),
              "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d1"
              "7d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923");
    EXPECT_EQ(Digest({}, 32), "0e5751c026e543b2e8ab2eb06099daa1d1e5df47778f7787faab45cdf12fe3a8");
    std::vector<uint8_t> counting(256);
    for (size_t i = 0; i < counting.size(); ++i)
        counting[i] = static_cast<uint8_t>(i);
    // Two whole blocks: the last one must be held back for the final flag.
    EXPECT_EQ(Digest(counting, 32), "39a7eb9fedc19aabc83425c6755dd90e6f9d0c804964a1f4aaeea3b9fb599835");
    std::vector<uint8_t> pattern(1000);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>((i * 7 + 3) & 255);
    const std::string whole = "d62b6c768ce1afc8367e0498ab2f8e3f7c178c35b1429f14c4604b545d200f52";
    EXPECT_EQ(Digest(pattern, 32), whole);
    EXPECT_EQ(Digest(pattern, 32, {1, 127, 128, 129, 0, 255}), whole);
    EXPECT_EQ(Digest(pattern, 32, {128, 128, 128}), whole);
    EXPECT_EQ(Digest(pattern, 32, {999}), whole);
}

MemberCache::Key KeyOf(const std::vector<uint8_t>& content, bool best)
{
    Blake2b hash(32);
    hash.Update(content.data(), content.size());
    uint8_t digest[32];
    hash.Final(digest);
    return MemberCache::MakeKey(digest, content.size(), best);
}

TEST(MemberCache, KeyChangesWithEveryPartThatDecidesTheBytes)
{
    uint8_t digest[32] = {};
    const MemberCache::Key base = MemberCache::MakeKey(digest, 1000, false);
    EXPECT_EQ(MemberCache::MakeKey(digest, 1000, false), base);
    EXPECT_NE(MemberCache::MakeKey(digest, 1001, false), base);
    EXPECT_NE(MemberCache::MakeKey(digest, 1000, true), base);
    std::set<MemberCache::Key> keys{base};
    for (size_t i = 0; i < 32; ++i) {
        uint8_t other[32] = {};
        other[i] = 0x80;
        keys.insert(MemberCache::MakeKey(other, 1000, false));
    }
    EXPECT_EQ(keys.size(), 33u);
    EXPECT_EQ(MemberCache::Hex(base).size(), 64u);
    EXPECT_EQ(MemberCache::Hex(base).find_first_not_of("0123456789abcdef"), std::string::npos);
}

// Puts an entry in place through the writer, as a build does.
bool Plant(const MemberCache& cache, const MemberCache::Key& key, uint64_t original, const std::vector<uint8_t>& packed,
           uint64_t member = UINT64_MAX)
{
    MemberCache::Writer writer(cache, key, member);
    writer.Append(packed.data(), packed.size());
    return writer.Commit(original, packed.size(), Crc32(packed.data(), packed.size()));
}

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file() && it->path().filename() != StatIndex::kFileName &&
            it->path().filename() != MemberCache::kLedgerName)
            names.push_back(it->path().filename().string());
    return names;
}

TEST(MemberCache, FindsWhatWasKeptAndRefusesEveryDamage)
{
    packtest::Scratch dir;
    const MemberCache cache(dir.Path("cache"), MemberCache::kDefaultLimit);
    const std::vector<uint8_t> content = testdata::Text(5000, 3);
    const MemberCache::Key key = KeyOf(content, false);
    std::vector<uint8_t> packed(lzss::CompressBound(content.size()));
    packed.resize(lzss::Compress(content.data(), content.size(), packed.data(), packed.size()));

    MemberCache::Entry entry;
    EXPECT_FALSE(cache.Find(key, content.size(), &entry)) << "an empty cache";
    ASSERT_TRUE(Plant(cache, key, content.size(), packed));
    ASSERT_TRUE(cache.Find(key, content.size(), &entry));
    EXPECT_TRUE(entry.whole);
    EXPECT_EQ(entry.bytes, packed);
    EXPECT_EQ(entry.packedSize, packed.size());
    EXPECT_EQ(entry.crc, Crc32(packed.data(), packed.size()));
    EXPECT_FALSE(cache.Find(KeyOf(content, true), content.size(), &entry)) << "the other coder";
    // The key holds the size: an entry of another size under it cannot be right.
    EXPECT_FALSE(cache.Find(key, content.size() + 1, &entry)) << "another size under the same key";
    ASSERT_TRUE(Plant(cache, key, content.size(), packed));

    // Every kind of damage: the entry is refused and removed.
    const std::string path = cache.EntryPath(key);
    const std::vector<uint8_t> good = packtest::ReadBytes(path);
    struct Damage {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Damage> damages;
    auto flipped = [&](size_t at) {
        std::vector<uint8_t> b = good;
        b[at] ^= 0x10;
        return b;
    };
    damages.push_back({"a packed byte", flipped(MemberCache::kHeaderSize + packed.size() / 2)});
    damages.push_back({"the last packed byte", flipped(good.size() - 1)});
    damages.push_back({"the magic", flipped(0)});
    damages.push_back({"the version", flipped(4)});
    damages.push_back({"the key", flipped(20)});
    damages.push_back({"the original size", flipped(40)});
    damages.push_back({"the packed size", flipped(48)});
    damages.push_back({"the sum", flipped(56)});
    damages.push_back({"cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)});
    damages.push_back({"only the header", std::vector<uint8_t>(good.begin(), good.begin() + MemberCache::kHeaderSize)});
    damages.push_back({"half a header", std::vector<uint8_t>(good.begin(), good.begin() + 30)});
    damages.push_back({"empty", {}});
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    damages.push_back({"a byte too many", longer});
    for (const Damage& d : damages) {
        ASSERT_TRUE(packtest::WriteBytes(path, d.bytes));
        EXPECT_FALSE(cache.Find(key, content.size(), &entry)) << d.what;
        EXPECT_FALSE(packtest::Exists(path)) << d.what << ": a damaged entry stays";
    }
    // An intact entry of one key copied under another's name.
    const MemberCache::Key other = KeyOf(testdata::Text(5000, 4), false);
    ASSERT_TRUE(packtest::WriteBytes(cache.EntryPath(other), good));
    EXPECT_FALSE(cache.Find(other, content.size(), &entry));
    ASSERT_TRUE(packtest::WriteBytes(path, good));
    EXPECT_TRUE(cache.Find(key, content.size(), &entry)) << "the intact entry again";
}

TEST(MemberCache, LargeEntriesAreCheckedWholeBeforeUse)
{
    packtest::Scratch dir;
    const MemberCache cache(dir.Path("cache"), MemberCache::kDefaultLimit, size_t(1) << 20);
    const std::vector<uint8_t> content = testdata::Generate(1200000, 9,
                                                            0.0);  // incompressible: past the entries read at once
    const MemberCache::Key key = KeyOf(content, false);
    std::vector<uint8_t> packed(lzss::CompressBound(content.size()));
    packed.resize(lzss::Compress(content.data(), content.size(), packed.data(), packed.size()));
    ASSERT_TRUE(Plant(cache, key, content.size(), packed));
    MemberCache::Entry entry;
    ASSERT_TRUE(cache.Find(key, content.size(), &entry));
    EXPECT_FALSE(entry.whole);
    std::vector<uint8_t> read(static_cast<size_t>(entry.packedSize));
    ASSERT_EQ(entry.file.Read(read.data(), read.size()), read.size()) << "the file placed at the packed bytes";
    EXPECT_EQ(read, packed);
    entry = MemberCache::Entry();

    // Within a larger size it is read whole, at once.
    const MemberCache wide(dir.Path("cache"), MemberCache::kDefaultLimit, size_t(16) << 20);
    ASSERT_TRUE(wide.Find(key, content.size(), &entry));
    EXPECT_TRUE(entry.whole);
    EXPECT_EQ(entry.bytes, packed);
    entry = MemberCache::Entry();

    std::vector<uint8_t> bytes = packtest::ReadBytes(cache.EntryPath(key));
    bytes[bytes.size() - 100] ^= 1;  // far behind the first block
    ASSERT_TRUE(packtest::WriteBytes(cache.EntryPath(key), bytes));
    EXPECT_FALSE(cache.Find(key, content.size(), &entry));
    ASSERT_TRUE(Plant(cache, key, content.size(), packed));
    ASSERT_TRUE(packtest::WriteBytes(cache.EntryPath(key), bytes));
    EXPECT_FALSE(wide.Find(key, content.size(), &entry)) << "read whole, and refused all the same";
    EXPECT_FALSE(packtest::Exists(cache.EntryPath(key))) << "and removed";
}

void SetUsed(const std::string& path, int secondsAgo)
{
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
}

TEST(MemberCache, TrimDropsTheLongestUnusedFirstAndOnlyWhatIsOurs)
{
    packtest::Scratch dir;
    const std::string folder = dir.Path("cache");
    const std::vector<uint8_t> packed(1000 - MemberCache::kHeaderSize, 0x55);  // entries of 1000 bytes
    std::vector<MemberCache::Key> keys;
    const MemberCache filler(folder, MemberCache::kDefaultLimit);
    for (int i = 0; i < 6; ++i) {
        keys.push_back(KeyOf(testdata::Text(100, static_cast<uint32_t>(i)), false));
        ASSERT_TRUE(Plant(filler, keys.back(), 100000, packed));
        SetUsed(filler.EntryPath(keys.back()), 1000 - 100 * i);  // key 0 the oldest
    }
    // Found now: key 1 becomes the newest.
    MemberCache::Entry entry;
    ASSERT_TRUE(filler.Find(keys[1], 100000, &entry));
    // Not ours, or another build's work in progress: kept; a stale one goes.
    packtest::WriteText(folder + "/notes.txt", std::string(5000, 'n'));
    packtest::WriteText(folder + "/ab/README", std::string(5000, 'r'));
    const std::string fresh = filler.EntryPath(keys[2]) + ".123abc.tmp";
    const std::string stale = filler.EntryPath(keys[3]) + ".456def.tmp";
    packtest::WriteText(fresh, "being written");
    packtest::WriteText(stale, "left behind");
    SetUsed(stale, 3 * 24 * 3600);

    MemberCache(folder, 6000).Trim();  // everything fits
    for (const MemberCache::Key& k : keys)
        EXPECT_TRUE(packtest::Exists(filler.EntryPath(k)));
    EXPECT_FALSE(packtest::Exists(stale));
    EXPECT_TRUE(packtest::Exists(fresh));

    MemberCache(folder, 3500).Trim();  // room for three: 0, 2 and 3 go (1 was used now)
    EXPECT_FALSE(packtest::Exists(filler.EntryPath(keys[0])));
    EXPECT_TRUE(packtest::Exists(filler.EntryPath(keys[1])));
    EXPECT_FALSE(packtest::Exists(filler.EntryPath(keys[2])));
    EXPECT_FALSE(packtest::Exists(filler.EntryPath(keys[3])));
    EXPECT_TRUE(packtest::Exists(filler.EntryPath(keys[4])));
    EXPECT_TRUE(packtest::Exists(filler.EntryPath(keys[5])));
    EXPECT_TRUE(packtest::Exists(folder + "/notes.txt"));
    EXPECT_TRUE(packtest::Exists(folder + "/ab/README"));
    EXPECT_TRUE(packtest::Exists(fresh));

    MemberCache(folder, 0).Trim();
    for (const MemberCache::Key& k : keys)
        EXPECT_FALSE(packtest::Exists(filler.EntryPath(k)));
    MemberCache(dir.Path("never made"), 0).Trim();  // a missing folder is no failure
}

// A ledger as the cache writes it: `bytes` counted `secondsAgo` ago.
void PlantLedger(const std::string& folder, uint64_t bytes, int64_t secondsAgo)
{
    const int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::vector<uint8_t> b = {'K', 'V', 'P', 'S', 1, 0, 0, 0};
    for (int i = 0; i < 8; ++i)
        b.push_back(static_cast<uint8_t>(bytes >> (8 * i)));
    for (int i = 0; i < 8; ++i)
        b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(now - secondsAgo) >> (8 * i)));
    const uint32_t crc = Crc32(b.data(), b.size());
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    ASSERT_TRUE(packtest::WriteBytes(folder + "/" + MemberCache::kLedgerName, b));
}

TEST(MemberCache, TheLedgerSparesTheCountUntilTheLimitIsInReach)
{
    packtest::Scratch dir;
    const std::string folder = dir.Path("cache");
    const std::vector<uint8_t> packed(1000 - MemberCache::kHeaderSize, 0x33);  // entries of 1000 bytes
    std::vector<MemberCache::Key> keys;
    const auto plant = [&](const MemberCache& cache, int i) {
        keys.push_back(KeyOf(testdata::Text(200, static_cast<uint32_t>(100 + i)), false));
        ASSERT_TRUE(Plant(cache, keys.back(), 100000, packed));
        SetUsed(cache.EntryPath(keys.back()), 10000 - 100 * i);  // the first the oldest
    };
    const auto kept = [&]() {
        size_t n = 0;
        for (const MemberCache::Key& k : keys)
            n += packtest::Exists(MemberCache(folder, 0).EntryPath(k)) ? 1 : 0;
        return n;
    };
    const auto ledgerBytes = [&]() {
        const std::vector<uint8_t> b = packtest::ReadBytes(folder + "/" + MemberCache::kLedgerName);
        uint64_t v = 0;
        for (int i = 7; b.size() >= 16 && i >= 0; --i)
            v = (v << 8) | b[8 + static_cast<size_t>(i)];
        return b.size() >= 16 ? v : ~uint64_t(0);
    };
    {
        // The folder is made by this build: what it wrote is all it holds,
        // and a ledger planted meanwhile by a build beside it is added to.
        const MemberCache cache(folder, 10000);
        for (int i = 0; i < 4; ++i)
            plant(cache, i);
        cache.Trim();
        EXPECT_EQ(ledgerBytes(), 4000u);
        PlantLedger(folder, 500, 0);
        for (int i = 4; i < 6; ++i)
            plant(cache, i);
        cache.Trim();
        EXPECT_EQ(ledgerBytes(), 2500u);
    }
    EXPECT_EQ(kept(), 6u);
    {
        // No ledger, and one made for 6000 bytes in the real folder: counted.
        fs::remove(folder + "/" + MemberCache::kLedgerName);
        MemberCache(folder, 10000).Trim();
        EXPECT_EQ(ledgerBytes(), 6000u);
    }
    {
        // A first build that writes more than the limit is trimmed at once.
        const std::string first = dir.Path("first");
        const MemberCache cache(first, 2500);
        std::vector<MemberCache::Key> own;
        for (int i = 0; i < 3; ++i) {
            own.push_back(KeyOf(testdata::Text(200, static_cast<uint32_t>(900 + i)), false));
            ASSERT_TRUE(Plant(cache, own.back(), 100000, packed));
            SetUsed(cache.EntryPath(own.back()), 10000 - 100 * i);
        }
        cache.Trim();
        EXPECT_FALSE(packtest::Exists(cache.EntryPath(own[0])));
        EXPECT_TRUE(packtest::Exists(cache.EntryPath(own[1])) && packtest::Exists(cache.EntryPath(own[2])));
    }

    // Trusted while it says the entries fit, whatever the folder holds.
    PlantLedger(folder, 2000, 60);
    MemberCache(folder, 3000).Trim();
    EXPECT_EQ(kept(), 6u) << "the ledger was trusted: nothing counted";
    // What a build writes is added; once that would pass the limit, the
    // entries are counted again and the oldest go.
    {
        const MemberCache cache(folder, 3000);
        plant(cache, 6);
        cache.Trim();  // 2000 + 1000: still in reach
        EXPECT_EQ(kept(), 7u);
        plant(cache, 7);
        cache.Trim();  // 3000 + 1000 would pass it
    }
    EXPECT_EQ(kept(), 3u);
    EXPECT_FALSE(packtest::Exists(MemberCache(folder, 0).EntryPath(keys[4])));
    EXPECT_TRUE(packtest::Exists(MemberCache(folder, 0).EntryPath(keys[5])));
    EXPECT_TRUE(packtest::Exists(MemberCache(folder, 0).EntryPath(keys[7])));

    // A day old, damaged or missing: counted again. The count also removes
    // the ledger's stale temporaries, and only those.
    const std::string stale = folder + "/" + MemberCache::kLedgerName + ".1a2b.tmp";
    const std::string fresh = folder + "/" + MemberCache::kLedgerName + ".3c4d.tmp";
    const std::string other = folder + "/notes.tmp";
    for (const std::string& path : {stale, fresh, other})
        packtest::WriteText(path, "left behind");
    SetUsed(stale, 3 * 24 * 3600);
    SetUsed(other, 3 * 24 * 3600);
    PlantLedger(folder, 0, int64_t(25) * 3600);
    MemberCache(folder, 2500).Trim();
    EXPECT_EQ(kept(), 2u) << "a day-old ledger";
    EXPECT_FALSE(packtest::Exists(stale));
    EXPECT_TRUE(packtest::Exists(fresh));
    EXPECT_TRUE(packtest::Exists(other));
    packtest::WriteText(folder + "/" + MemberCache::kLedgerName, "KVPS damaged");
    MemberCache(folder, 1500).Trim();
    EXPECT_EQ(kept(), 1u) << "a damaged ledger";
    PlantLedger(folder, 0, -3600);
    MemberCache(folder, 500).Trim();
    EXPECT_EQ(kept(), 0u) << "a ledger from the future";
}

TEST(MemberCache, WritersSideBySideLeaveOnlyWholeEntries)
{
    packtest::Scratch dir;
    const std::string folder = dir.Path("cache");
    constexpr int kThreads = 6;
    constexpr int kRounds = 40;
    std::vector<std::vector<uint8_t>> contents;
    std::vector<std::vector<uint8_t>> packs;
    for (int i = 0; i < 8; ++i) {
        contents.push_back(testdata::Text(20000 + 3000 * static_cast<size_t>(i), static_cast<uint32_t>(i)));
        std::vector<uint8_t> p(lzss::CompressBound(contents.back().size()));
        p.resize(lzss::Compress(contents.back().data(), contents.back().size(), p.data(), p.size()));
        packs.push_back(p);
    }
    std::vector<std::thread> threads;
    std::vector<int> misses(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const MemberCache cache(folder, MemberCache::kDefaultLimit);  // one per build
            for (int r = 0; r < kRounds; ++r) {
                const size_t i = static_cast<size_t>(t + r) % contents.size();
                Plant(cache, KeyOf(contents[i], false), contents[i].size(), packs[i]);
                MemberCache::Entry entry;
                const size_t j = static_cast<size_t>(t * 3 + r) % contents.size();
                // A reader meets an entry whole or not at all, never in part.
                if (cache.Find(KeyOf(contents[j], false), contents[j].size(), &entry)) {
                    if (entry.bytes != packs[j])
                        ++misses[static_cast<size_t>(t)];
                }
                if (r % 10 == 0)
                    cache.Trim();
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (int m : misses)
        EXPECT_EQ(m, 0) << "a reader got other bytes than were kept";
    const MemberCache cache(folder, MemberCache::kDefaultLimit);
    for (size_t i = 0; i < contents.size(); ++i) {
        MemberCache::Entry entry;
        ASSERT_TRUE(cache.Find(KeyOf(contents[i], false), contents[i].size(), &entry)) << i;
        EXPECT_EQ(entry.bytes, packs[i]) << i;
    }
    for (const std::string& name : Entries(folder))
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name << " left behind";
    EXPECT_EQ(Entries(folder).size(), contents.size());
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

TEST(MemberCache, SmallEntriesOfABuildShareAPackCheckedAsEntriesAre)
{
    packtest::Scratch dir;
    const std::string folder = dir.Path("cache");
    const auto packs = [&]() {
        std::vector<std::string> paths;
        std::error_code ec;
        for (fs::directory_iterator it(folder + "/" + EntryPack::kFolder, ec), end; !ec && it != end; ++it)
            if (EntryPack::IsPackName(it->path().filename().string()))
                paths.push_back(it->path().string());
        return paths;
    };
    std::vector<MemberCache::Key> keys;
    std::vector<std::vector<uint8_t>> kept;
    const auto keep = [&](const MemberCache& cache, uint32_t seed) {
        keys.push_back(KeyOf(testdata::Text(300, 5000 + seed), false));
        kept.push_back(testdata::Generate(900 + seed * 7, seed, 0.5));
        MemberCache::Writer writer(cache, keys.back(), 4000);
        writer.Append(kept.back().data(), kept.back().size());
        return writer.Commit(4000, kept.back().size(), Crc32(kept.back().data(), kept.back().size()));
    };
    const auto found = [&](const MemberCache& cache, size_t i) {
        MemberCache::Entry entry;
        return cache.Find(keys[i], 4000, &entry) && entry.whole && entry.bytes == kept[i] &&
               entry.crc == Crc32(kept[i].data(), kept[i].size());
    };
    {
        const MemberCache cache(folder, MemberCache::kDefaultLimit, MemberCache::kDefaultWholeEntry, 8);
        for (uint32_t i = 0; i < 10; ++i)
            ASSERT_TRUE(keep(cache, i));
        EXPECT_TRUE(packs().empty()) << "put in place only once the build is done with it";
        cache.Trim();
    }
    ASSERT_EQ(packs().size(), 1u);
    EXPECT_EQ(Entries(folder).size(), 1u) << "no entry of its own file";
    const std::vector<uint8_t> ledger = packtest::ReadBytes(folder + "/" + MemberCache::kLedgerName);
    ASSERT_EQ(ledger.size(), 28u);
    EXPECT_EQ(ledger[8] | ledger[9] << 8 | ledger[10] << 16, static_cast<int>(fs::file_size(packs()[0])))
        << "the ledger counts the pack";
    {
        // Few entries: each in its own file.
        const MemberCache cache(folder, MemberCache::kDefaultLimit, MemberCache::kDefaultWholeEntry, 8);
        for (uint32_t i = 10; i < 13; ++i)
            ASSERT_TRUE(keep(cache, i));
        cache.Trim();
        for (size_t i = 10; i < 13; ++i)
            EXPECT_TRUE(packtest::Exists(cache.EntryPath(keys[i]))) << i;
        // Entries of larger members, and those written after the pack was
        // closed, go to their files too.
        const std::vector<uint8_t> big(5000, 7);
        const MemberCache::Key late = KeyOf(big, false);
        MemberCache::Writer writer(cache, late, 4000);
        writer.Append(big.data(), big.size());
        ASSERT_TRUE(writer.Commit(4000, big.size(), Crc32(big.data(), big.size())));
        EXPECT_TRUE(packtest::Exists(cache.EntryPath(late)));
    }
    EXPECT_EQ(packs().size(), 1u);
    {
        // Found by a later build; its use marks the pack.
        const std::string pack = packs()[0];
        SetUsed(pack, 3600);
        const auto before = fs::last_write_time(pack);
        const MemberCache cache(folder, MemberCache::kDefaultLimit);
        for (size_t i = 0; i < 13; ++i)
            EXPECT_TRUE(found(cache, i)) << i;
        EXPECT_GT(fs::last_write_time(pack), before);
    }
    {
        // A damaged entry: noticed by its sum; the pack goes, its members
        // are compressed again, the entry files stay.
        std::vector<uint8_t> bytes = packtest::ReadBytes(packs()[0]);
        const auto at = std::search(bytes.begin(), bytes.end(), kept[3].begin(), kept[3].end());
        ASSERT_NE(at, bytes.end());
        at[100] ^= 1;
        ASSERT_TRUE(packtest::WriteBytes(packs()[0], bytes));
        const MemberCache cache(folder, MemberCache::kDefaultLimit);
        EXPECT_TRUE(found(cache, 2));
        EXPECT_FALSE(found(cache, 3));
        EXPECT_TRUE(packs().empty());
        EXPECT_FALSE(found(cache, 4)) << "gone with its pack";
        EXPECT_TRUE(found(cache, 11));
    }
    {
        // A pack goes in place once it holds kPackLargest bytes; the next
        // one takes the rest.
        const std::string large = dir.Path("large");
        const std::vector<uint8_t> packed(60000, 0x5a);
        const size_t count = MemberCache::kPackLargest / (packed.size() + MemberCache::kHeaderSize) + 10;
        std::vector<MemberCache::Key> many;
        const auto packsIn = [&]() {
            size_t n = 0;
            for (const auto& it : fs::directory_iterator(large + "/" + EntryPack::kFolder))
                n += EntryPack::IsPackName(it.path().filename().string()) ? 1 : 0;
            return n;
        };
        const MemberCache cache(large, MemberCache::kDefaultLimit, MemberCache::kDefaultWholeEntry, 8);
        for (size_t i = 0; i < count; ++i) {
            many.push_back(KeyOf(testdata::Text(50, static_cast<uint32_t>(9000 + i)), false));
            ASSERT_TRUE(Plant(cache, many.back(), MemberCache::kPackMember, packed, MemberCache::kPackMember));
        }
        EXPECT_EQ(packsIn(), 1u) << "the first in place already";
        cache.Trim();
        EXPECT_EQ(packsIn(), 2u);
        const MemberCache later(large, MemberCache::kDefaultLimit);
        MemberCache::Entry entry;
        for (const MemberCache::Key& k : many)
            EXPECT_TRUE(later.Find(k, MemberCache::kPackMember, &entry) && entry.bytes == packed);
    }
    // A damaged table or footer, or a pack cut short: not used, and removed.
    for (int damage = 0; damage < 3; ++damage) {
        keys.resize(13);
        kept.resize(13);
        {
            const MemberCache cache(folder, MemberCache::kDefaultLimit, MemberCache::kDefaultWholeEntry, 8);
            for (uint32_t i = 20; i < 30; ++i)
                ASSERT_TRUE(keep(cache, i));
        }  // put in place as the cache goes, as when a build fails
        ASSERT_EQ(packs().size(), 1u) << damage;
        std::vector<uint8_t> bytes = packtest::ReadBytes(packs()[0]);
        if (damage == 0)
            bytes[bytes.size() - EntryPack::kFooterSize - 5] ^= 1;
        else if (damage == 1)
            bytes[bytes.size() - 1] ^= 1;
        else
            bytes.pop_back();
        ASSERT_TRUE(packtest::WriteBytes(packs()[0], bytes));
        const MemberCache cache(folder, MemberCache::kDefaultLimit);
        EXPECT_FALSE(found(cache, 13)) << damage;
        EXPECT_TRUE(packs().empty()) << damage;
    }
}

TEST(MemberCache, PacksAreDroppedOldestUsedFirstAndWrittenSideBySide)
{
    packtest::Scratch dir;
    const std::string folder = dir.Path("cache");
    std::vector<MemberCache::Key> keys;
    const std::vector<uint8_t> packed(1000 - MemberCache::kHeaderSize, 0x44);  // entries of 1000 bytes
    // Two builds side by side, each with its pack.
    {
        const MemberCache a(folder, MemberCache::kDefaultLimit, MemberCache::kDefaultWholeEntry, 4);
        const MemberCache b(folder, MemberCache::kDefaultLimit, MemberCache::kDefaultWholeEntry, 4);
        for (uint32_t i = 0; i < 10; ++i)
            keys.push_back(KeyOf(testdata::Text(100, 7000 + i), false));
        std::thread other([&] {
            for (size_t i = 5; i < 10; ++i) {
                MemberCache::Writer writer(b, keys[i], 4000);
                writer.Append(packed.data(), packed.size());
                writer.Commit(4000, packed.size(), Crc32(packed.data(), packed.size()));
            }
            b.Trim();
        });
        for (size_t i = 0; i < 5; ++i) {
            MemberCache::Writer writer(a, keys[i], 4000);
            writer.Append(packed.data(), packed.size());
            writer.Commit(4000, packed.size(), Crc32(packed.data(), packed.size()));
        }
        a.Trim();
        other.join();
    }
    std::vector<std::string> packs;
    for (const auto& it : fs::directory_iterator(folder + "/" + EntryPack::kFolder))
        packs.push_back(it.path().string());
    ASSERT_EQ(packs.size(), 2u);
    MemberCache::Entry entry;
    for (size_t i = 0; i < 10; ++i)
        EXPECT_TRUE(MemberCache(folder, MemberCache::kDefaultLimit).Find(keys[i], 4000, &entry)) << i;
    // Counted as what they weigh (5 entries, their table and footer), the
    // one used longest ago dropped first.
    SetUsed(packs[0], 7200);
    SetUsed(packs[1], 3600);
    fs::remove(folder + "/" + MemberCache::kLedgerName);
    MemberCache(folder, 5000 + 5 * EntryPack::kSlotSize + EntryPack::kFooterSize).Trim();
    EXPECT_FALSE(packtest::Exists(packs[0]));
    EXPECT_TRUE(packtest::Exists(packs[1]));
}

TEST(MemberCache, FolderAndLimitFromTheEnvironment)
{
    {
        ScopedEnv xdg("XDG_CACHE_HOME", "/var/tmp/caches");
        EXPECT_EQ(MemberCache::DefaultFolder(), "/var/tmp/caches/kelvopack");
    }
    {
        ScopedEnv xdg("XDG_CACHE_HOME", "relative/caches");  // to be ignored
        ScopedEnv home("HOME", "/home/author");
        EXPECT_EQ(MemberCache::DefaultFolder(), "/home/author/.cache/kelvopack");
    }
    {
        ScopedEnv xdg("XDG_CACHE_HOME", nullptr);
        ScopedEnv home("HOME", nullptr);
        EXPECT_EQ(MemberCache::DefaultFolder(), "");
    }
    const struct {
        const char* text;
        bool ok;
        uint64_t limit;
    } cases[] = {
        {nullptr, true, MemberCache::kDefaultLimit},
        {"", true, MemberCache::kDefaultLimit},
        {"1000", true, 1000},
        {"0", true, 0},
        {"64K", true, 64 << 10},
        {"512M", true, uint64_t(512) << 20},
        {"3g", true, uint64_t(3) << 30},
        {"12X", false, 0},
        {"M", false, 0},
        {"-5", false, 0},
        {"1.5G", false, 0},
        {"10 M", false, 0},
        {"99999999999999999999", false, 0},
        {"99999999999999G", false, 0},
    };
    for (const auto& c : cases) {
        ScopedEnv size("KELVOPACK_CACHE_SIZE", c.text);
        uint64_t limit = 1;
        std::string reason;
        EXPECT_EQ(MemberCache::LimitFromEnvironment(&limit, &reason), c.ok) << (c.text ? c.text : "unset");
        if (c.ok)
            EXPECT_EQ(limit, c.limit) << c.text;
        else
            EXPECT_NE(reason.find("KELVOPACK_CACHE_SIZE"), std::string::npos) << c.text;
    }
}

// ---------------------------------------------------------------------------
// Whole builds

SetupSummary Build(const std::string& project, const std::string& stub, const std::string& output,
                   const std::string& cache, bool best = false, unsigned threads = 2)
{
    SetupSettings settings;
    settings.stub = stub;
    settings.output = output;
    settings.threads = threads;
    settings.best = best;
    settings.cacheFolder = cache;
    settings.cacheLimit = MemberCache::kDefaultLimit;
    return CheckedBuild(LoadProject(project), settings);
}

struct Members {
    std::vector<std::vector<uint8_t>> packed;
    std::vector<std::vector<uint8_t>> contents;
};

Members Read(const std::string& setup)
{
    Members m;
    SetupArchive archive;
    std::string error;
    EXPECT_TRUE(archive.Open(setup, &error)) << error;
    const std::vector<uint8_t> file = packtest::ReadBytes(setup);
    for (const SetupArchive::Member& member : archive.Members()) {
        const auto from = file.begin() + static_cast<ptrdiff_t>(member.start);
        m.packed.emplace_back(from, from + member.record.TamComp);
        std::vector<uint8_t> out(member.record.TamOrig);
        out.resize(lzss::Decompress(m.packed.back().data(), m.packed.back().size(), out.data(), out.size()));
        m.contents.push_back(out);
    }
    const SetupCheckResult check = CheckSetup(setup);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    return m;
}

size_t Distinct(const Members& m)
{
    return std::set<std::vector<uint8_t>>(m.contents.begin(), m.contents.end()).size();
}

std::vector<size_t> PackedSizes(const Members& m)
{
    std::vector<size_t> sizes;
    for (const std::vector<uint8_t>& packed : m.packed)
        sizes.push_back(packed.size());
    return sizes;
}

TEST(MemberCacheBuild, SetupsAreTheSameByteForByteColdWarmDamagedAndChanged)
{
    packtest::Scratch dir;
    const std::string stub = dir.Path("stub.exe");
    packtest::WriteText(stub, "MZ not really a program");
    // Besides the project's small members: one past the entry size read at
    // once, and one the encoder takes in several blocks.
    packtest::WriteBytes(dir.Path("big.bin"), testdata::Generate(1500000, 5, 0.0));
    packtest::WriteBytes(dir.Path("text.txt"), testdata::Text(1300000, 6));
    const std::string project =
        packtest::MakeProject(dir, "\n[[file]]\nsource = \"big.bin\"\n\n[[file]]\nsource = \"text.txt\"\n");
    const std::string cache = dir.Path("cache");
    for (const char* folder : {"plain", "cold", "warm", "damaged", "changed", "fresh", "best", "bestwarm", "bestplain"})
        fs::create_directories(dir.Path(folder));
    const auto setup = [&](const char* folder) { return dir.Path(std::string(folder) + "/setup.exe"); };

    Build(project, stub, setup("plain"), "");
    EXPECT_FALSE(packtest::Exists(cache)) << "a build without the cache writes none";
    Build(project, stub, setup("cold"), cache, false, 3);
    const Members plain = Read(setup("plain"));
    const size_t kept = Entries(cache).size();
    EXPECT_EQ(kept, Distinct(plain) + 1) << "one entry per content, and the script's";
    EXPECT_TRUE(packtest::ReadBytes(setup("cold")) == packtest::ReadBytes(setup("plain")));
    Build(project, stub, setup("warm"), cache, false, 1);
    EXPECT_TRUE(packtest::ReadBytes(setup("warm")) == packtest::ReadBytes(setup("plain")));
    EXPECT_EQ(Entries(cache).size(), kept);

    // Damaged entries: one flipped byte in the large one, one cut short.
    const MemberCache reader(cache, MemberCache::kDefaultLimit);
    const std::vector<uint8_t> big = packtest::ReadBytes(dir.Path("big.bin"));
    const std::vector<uint8_t> text = packtest::ReadBytes(dir.Path("text.txt"));
    const std::string bigEntry = reader.EntryPath(KeyOf(big, false));
    const std::string textEntry = reader.EntryPath(KeyOf(text, false));
    std::vector<uint8_t> bytes = packtest::ReadBytes(bigEntry);
    ASSERT_GT(bytes.size(), size_t(1) << 20);
    bytes[bytes.size() - 7] ^= 0x40;
    packtest::WriteBytes(bigEntry, bytes);
    bytes = packtest::ReadBytes(textEntry);
    bytes.resize(bytes.size() / 2);
    packtest::WriteBytes(textEntry, bytes);
    Build(project, stub, setup("damaged"), cache);
    EXPECT_TRUE(packtest::ReadBytes(setup("damaged")) == packtest::ReadBytes(setup("plain")));
    MemberCache::Entry entry;
    EXPECT_TRUE(reader.Find(KeyOf(big, false), big.size(), &entry)) << "made anew";
    EXPECT_TRUE(reader.Find(KeyOf(text, false), text.size(), &entry)) << "made anew";

    // One byte changed, same size: that member alone is compressed again.
    std::vector<uint8_t> changed = text;
    changed[changed.size() / 3] ^= 0x01;
    packtest::WriteBytes(dir.Path("text.txt"), changed);
    Build(project, stub, setup("changed"), cache);
    Build(project, stub, setup("fresh"), "");
    EXPECT_TRUE(packtest::ReadBytes(setup("changed")) == packtest::ReadBytes(setup("fresh")));
    const Members fresh = Read(setup("fresh"));
    // The script holds the packed sizes: another one when they moved.
    const size_t scripts = PackedSizes(fresh) == PackedSizes(plain) ? 0 : 1;
    EXPECT_EQ(Entries(cache).size(), kept + 1 + scripts);
    EXPECT_TRUE(std::find(fresh.contents.begin(), fresh.contents.end(), changed) != fresh.contents.end());

    // --best: other entries, and its own bytes.
    Build(project, stub, setup("best"), cache, true);
    EXPECT_EQ(Entries(cache).size(), kept + 1 + scripts + Distinct(fresh) + 1);
    Build(project, stub, setup("bestwarm"), cache, true);
    Build(project, stub, setup("bestplain"), "", true);
    EXPECT_TRUE(packtest::ReadBytes(setup("best")) == packtest::ReadBytes(setup("bestplain")));
    EXPECT_TRUE(packtest::ReadBytes(setup("bestwarm")) == packtest::ReadBytes(setup("bestplain")));
    EXPECT_FALSE(packtest::ReadBytes(setup("best")) == packtest::ReadBytes(setup("fresh")));
}

TEST(MemberCacheBuild, AKeptEntryIsUsedAsItIsAndBuildsShareTheFolder)
{
    packtest::Scratch dir;
    const std::string stub = dir.Path("stub.exe");
    packtest::WriteText(stub, "MZ not really a program");
    const std::string project = packtest::MakeProject(dir);
    const std::string cache = dir.Path("cache");

    // An entry planted for app.exe's content, with other (valid) bytes: a
    // build that finds it copies it instead of compressing the file.
    const std::vector<uint8_t> app = packtest::ReadBytes(dir.Path("bin/app.exe"));
    std::vector<uint8_t> stand(app.size(), 'x');
    std::vector<uint8_t> planted(lzss::CompressBound(stand.size()));
    planted.resize(lzss::Compress(stand.data(), stand.size(), planted.data(), planted.size()));
    ASSERT_TRUE(Plant(MemberCache(cache, MemberCache::kDefaultLimit), KeyOf(app, false), app.size(), planted));
    fs::create_directories(dir.Path("hit"));
    Build(project, stub, dir.Path("hit/setup.exe"), cache);
    const Members hit = Read(dir.Path("hit/setup.exe"));
    EXPECT_TRUE(std::find(hit.packed.begin(), hit.packed.end(), planted) != hit.packed.end());
    EXPECT_TRUE(std::find(hit.contents.begin(), hit.contents.end(), app) == hit.contents.end());
    fs::remove_all(cache);

    // Two builds at once into one cache folder, cold then warm.
    fs::create_directories(dir.Path("alone"));
    Build(project, stub, dir.Path("alone/setup.exe"), "");
    const std::vector<uint8_t> alone = packtest::ReadBytes(dir.Path("alone/setup.exe"));
    for (int round = 0; round < 2; ++round) {
        std::vector<std::thread> builds;
        for (int b = 0; b < 3; ++b) {
            const std::string folder = dir.Path("side" + std::to_string(round) + std::to_string(b));
            fs::create_directories(folder);
            builds.emplace_back([&, folder] { Build(project, stub, folder + "/setup.exe", cache); });
        }
        for (std::thread& t : builds)
            t.join();
        for (int b = 0; b < 3; ++b)
            EXPECT_TRUE(packtest::ReadBytes(dir.Path("side" + std::to_string(round) + std::to_string(b)) +
                                            "/setup.exe") == alone)
                << "round " << round << ", build " << b;
    }
    for (const std::string& name : Entries(cache))
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name << " left behind";
}

TEST(MemberCacheBuild, ManySmallMembersKeepTheirOrderAndBytesHoweverTheyTravel)
{
    packtest::Scratch dir;
    const std::string stub = dir.Path("stub.exe");
    packtest::WriteText(stub, "MZ not really a program");
    // Batches end at a count of members and at a sum of bytes: many small
    // files, some over that sum, an empty one, and one whose compressed
    // bytes fill more than a chunk.
    std::map<std::string, std::vector<uint8_t>> contents;
    for (int i = 0; i < 230; ++i) {
        const size_t size = i == 17 ? 0 : i % 50 == 3 ? 300000 : static_cast<size_t>((i * 397) % 9000);
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.bin", i);
        contents[name] = i == 120 ? testdata::Generate(1300000, 77, 0.0)
                                  : testdata::Generate(size, static_cast<uint32_t>(i), i % 2 == 0 ? 0.6 : 0.1);
        packtest::WriteBytes(dir.Path("many/") + name, contents[name]);
    }
    const std::string project = packtest::MakeProject(dir, "\n[[folder]]\nsource = \"many\"\npath = \"many\"\n");
    const std::string cache = dir.Path("cache");
    const auto build = [&](const char* folder, const std::string& cacheFolder, unsigned threads, size_t budget) {
        fs::create_directories(dir.Path(folder));
        SetupSettings settings;
        settings.stub = stub;
        settings.output = dir.Path(std::string(folder) + "/setup.exe");
        settings.threads = threads;
        settings.memoryBudget = budget;
        settings.cacheFolder = cacheFolder;
        settings.cacheLimit = MemberCache::kDefaultLimit;
        CheckedBuild(LoadProject(project), settings);
        return packtest::ReadBytes(settings.output);
    };
    const std::vector<uint8_t> alone = build("alone", "", 1, size_t(256) << 20);

    // Every member in its record's place holds its own file.
    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(dir.Path("alone/setup.exe"), &error)) << error;
    size_t checked = 0;
    for (const SetupArchive::Member& member : archive.Members()) {
        const std::string& arq = member.record.arq;
        const std::string name = arq.substr(arq.find_last_of('\\') + 1);
        if (arq.find("\\many\\") == std::string::npos)
            continue;
        ++checked;
        const auto from = alone.begin() + static_cast<ptrdiff_t>(member.start);
        const std::vector<uint8_t> packed(from, from + member.record.TamComp);
        std::vector<uint8_t> out(member.record.TamOrig);
        out.resize(lzss::Decompress(packed.data(), packed.size(), out.data(), out.size()));
        EXPECT_TRUE(out == contents[name]) << name;
    }
    EXPECT_EQ(checked, contents.size());
    EXPECT_TRUE(CheckSetup(dir.Path("alone/setup.exe")).problems.empty());

    EXPECT_TRUE(build("threads", "", 3, size_t(256) << 20) == alone);
    EXPECT_TRUE(build("starved", "", 3, 1) == alone) << "every finished chunk waits for the writer";
    EXPECT_TRUE(build("cold", cache, 2, size_t(256) << 20) == alone);
    EXPECT_TRUE(build("warm", cache, 3, 100000) == alone);
    EXPECT_TRUE(build("warm1", cache, 1, size_t(256) << 20) == alone);
}

// ---------------------------------------------------------------------------
// The stat index

StatIndex::Digest DigestOf(const std::vector<uint8_t>& content)
{
    Blake2b hash(32);
    hash.Update(content.data(), content.size());
    StatIndex::Digest digest;
    hash.Final(digest.data());
    return digest;
}

// Writes an index file holding `entries` and dates it `written`.
void PlantIndex(const std::string& cache, const std::vector<std::pair<std::string, StatIndex::Known>>& entries,
                fs::file_time_type written)
{
    const std::string path = (fs::path(cache) / StatIndex::kFileName).string();
    ASSERT_TRUE(packtest::WriteBytes(path, StatIndex::Encode(entries)));
    fs::last_write_time(path, written);
}

TEST(StatIndex, KeepsWhatWasLearntAndTrustsOnlyStandingStampsOlderThanItself)
{
    packtest::Scratch dir;
    const std::string folder = dir.Path("cache");
    const std::string a = dir.Path("a.bin");
    const std::string b = dir.Path("b.bin");
    const std::string c = dir.Path("c.bin");
    for (const std::string& path : {a, b, c}) {
        packtest::WriteText(path, path);
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(2));
    }
    StatIndex::Stamp sa;
    StatIndex::Stamp sb;
    StatIndex::Stamp sc;
    ASSERT_TRUE(StatIndex::StampOf(a, &sa) && StatIndex::StampOf(b, &sb) && StatIndex::StampOf(c, &sc));
    EXPECT_EQ(sa.size, a.size());
    EXPECT_NE(sa, sb) << "another file, another inode";
    StatIndex::Stamp none;
    EXPECT_FALSE(StatIndex::StampOf(dir.Path("missing"), &none));
    EXPECT_FALSE(StatIndex::StampOf(dir.Path(""), &none)) << "a folder has no stamp";

    const StatIndex::Digest da = DigestOf({1});
    const StatIndex::Digest db = DigestOf({2});
    const StatIndex::Digest dc = DigestOf({3});
    {
        StatIndex first(folder);
        EXPECT_EQ(first.Size(), 0u) << "no index yet";
        first.Record(a, sa, da);
        first.Record(b, sb, db);
        first.Record(c, sc, dc);
        first.Save();
    }
    StatIndex::Digest got{};
    {
        StatIndex second(folder);
        EXPECT_EQ(second.Size(), 3u);
        EXPECT_TRUE(second.Lookup(a, sa, &got) && got == da);
        EXPECT_TRUE(second.Lookup(c, sc, &got) && got == dc);
        EXPECT_FALSE(second.Lookup(dir.Path("other"), sa, &got)) << "another path";
        // Any field that moved makes the stamp another one.
        for (int field = 0; field < 5; ++field) {
            StatIndex::Stamp moved = sa;
            uint64_t* parts[] = {&moved.size, reinterpret_cast<uint64_t*>(&moved.modified),
                                 reinterpret_cast<uint64_t*>(&moved.changed), &moved.inode, &moved.device};
            *parts[field] += 1;
            EXPECT_FALSE(second.Lookup(a, moved, &got)) << "field " << field;
        }
        // A build that learns only of b, and that a changed under it, keeps
        // c from the older builds and forgets a.
        second.Record(b, sb, dc);
        second.Forget(a);
        second.Save();
    }
    {
        StatIndex third(folder);
        EXPECT_EQ(third.Size(), 2u);
        EXPECT_FALSE(third.Lookup(a, sa, &got));
        EXPECT_TRUE(third.Lookup(b, sb, &got) && got == dc);
        EXPECT_TRUE(third.Lookup(c, sc, &got) && got == dc);
    }

    // Racy: a file modified no earlier than the index was written.
    const std::string path = (fs::path(folder) / StatIndex::kFileName).string();
    fs::last_write_time(path, fs::last_write_time(c));
    EXPECT_FALSE(StatIndex(folder).Lookup(c, sc, &got)) << "modified in the tick the index was written";
    fs::last_write_time(path, fs::last_write_time(c) + std::chrono::seconds(1));
    EXPECT_FALSE(StatIndex(folder).Lookup(c, sc, &got)) << "its status changed (the dating) after the index";
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(1));
    EXPECT_TRUE(StatIndex(folder).Lookup(c, sc, &got));

    // Damage of any kind: the index is ignored whole.
    const std::vector<uint8_t> good = packtest::ReadBytes(path);
    for (size_t at : {size_t(0), size_t(5), size_t(9), good.size() / 2, good.size() - 1}) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x10;
        packtest::WriteBytes(path, bad);
        fs::last_write_time(path, fs::file_time_type::clock::now());
        EXPECT_EQ(StatIndex(folder).Size(), 0u) << "byte " << at << " flipped";
    }
    for (size_t size : {size_t(0), size_t(11), good.size() - 5}) {
        packtest::WriteBytes(path, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(size)));
        EXPECT_EQ(StatIndex(folder).Size(), 0u) << "cut to " << size;
    }
}

TEST(StatIndexBuild, AStandingStampSkipsTheHashAndAMovedOrRacyOneDoesNot)
{
    packtest::Scratch dir;
    const std::string stub = dir.Path("stub.exe");
    packtest::WriteText(stub, "MZ not really a program");
    const std::string project = packtest::MakeProject(dir);
    const std::string cache = dir.Path("cache");
    const std::string app = dir.Path("bin/app.exe");
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(app, past);
    const std::vector<uint8_t> content = packtest::ReadBytes(app);

    fs::create_directories(dir.Path("first"));
    Build(project, stub, dir.Path("first/setup.exe"), cache);
    std::string source;  // app.exe as the build names it
    {
        const StatIndex index(cache);
        EXPECT_GE(index.Size(), 5u) << "every member learnt";
        StatIndex::Stamp stamp;
        ASSERT_TRUE(StatIndex::StampOf(app, &stamp));
        StatIndex::Digest digest{};
        for (const std::string& name : {app, dir.Path("bin\\app.exe")})
            if (index.Lookup(name, stamp, &digest))
                source = name;
        ASSERT_FALSE(source.empty()) << "app.exe in the index";
        EXPECT_TRUE(digest == DigestOf(content));
    }

    // The index says app.exe holds other bytes, which are kept: a build
    // that trusts the stamp copies them without reading the file.
    const std::vector<uint8_t> stand(content.size(), 'x');
    std::vector<uint8_t> planted(lzss::CompressBound(stand.size()));
    planted.resize(lzss::Compress(stand.data(), stand.size(), planted.data(), planted.size()));
    ASSERT_TRUE(Plant(MemberCache(cache, MemberCache::kDefaultLimit), KeyOf(stand, false), stand.size(), planted));
    const auto plantFor = [&](fs::file_time_type written) {
        StatIndex::Known known;
        ASSERT_TRUE(StatIndex::StampOf(app, &known.stamp));
        known.digest = DigestOf(stand);
        PlantIndex(cache, {{source, known}}, written);
    };
    const auto packedOf = [&](const char* folder) {
        fs::create_directories(dir.Path(folder));
        Build(project, stub, dir.Path(std::string(folder) + "/setup.exe"), cache);
        return Read(dir.Path(std::string(folder) + "/setup.exe"));
    };
    const auto holds = [](const Members& m, const std::vector<uint8_t>& bytes, bool packed) {
        const auto& list = packed ? m.packed : m.contents;
        return std::find(list.begin(), list.end(), bytes) != list.end();
    };

    plantFor(fs::file_time_type::clock::now());
    const Members trusted = packedOf("trusted");
    EXPECT_TRUE(holds(trusted, planted, true)) << "the stamp stood: the file was not hashed";
    EXPECT_FALSE(holds(trusted, content, false));

    // The index written in the tick app.exe was modified in: hashed anyway.
    plantFor(fs::last_write_time(app));
    const Members racy = packedOf("racy");
    EXPECT_TRUE(holds(racy, content, false));
    EXPECT_FALSE(holds(racy, planted, true));
    {
        StatIndex::Stamp stamp;
        StatIndex::Digest digest{};
        ASSERT_TRUE(StatIndex::StampOf(app, &stamp));
        fs::last_write_time(dir.Path("cache/") + StatIndex::kFileName, fs::file_time_type::clock::now());
        EXPECT_TRUE(StatIndex(cache).Lookup(source, stamp, &digest) && digest == DigestOf(content))
            << "what the racy build hashed, learnt";
    }

    // The file touched since: its stamp moved, so it is hashed.
    plantFor(fs::file_time_type::clock::now());
    fs::last_write_time(app, past + std::chrono::seconds(3));
    const Members moved = packedOf("moved");
    EXPECT_TRUE(holds(moved, content, false));
    EXPECT_FALSE(holds(moved, planted, true));

    // A damaged index is no index: the build reads every file.
    packtest::WriteText(dir.Path("cache/") + StatIndex::kFileName, "KVPI damaged");
    EXPECT_TRUE(holds(packedOf("damaged"), content, false));
}

TEST(StatIndex, SavingRemovesTheTemporariesOfBuildsThatEndedAbruptly)
{
    packtest::Scratch dir;
    const std::string folder = dir.Path("cache");
    const std::string head = folder + "/" + StatIndex::kFileName;
    const std::string stale = head + ".12345.tmp";
    const std::string fresh = head + ".67890.tmp";
    const std::string others[] = {folder + "/other.tmp", head + ".old",
                                  folder + "/ab/" + StatIndex::kFileName + ".1.tmp"};
    for (const std::string& path : {stale, fresh, others[0], others[1], others[2]})
        packtest::WriteText(path, "left behind");
    const auto past = fs::file_time_type::clock::now() - StatIndex::kStaleTemporary - std::chrono::minutes(5);
    for (const std::string& path : {stale, others[0], others[1], others[2]})
        fs::last_write_time(path, past);
    fs::last_write_time(fresh, fs::file_time_type::clock::now() - StatIndex::kStaleTemporary + std::chrono::minutes(5));
    StatIndex(folder).Save();
    EXPECT_TRUE(packtest::Exists(head));
    EXPECT_FALSE(packtest::Exists(stale));
    EXPECT_TRUE(packtest::Exists(fresh)) << "may be another build's, still being written";
    for (const std::string& path : others)
        EXPECT_TRUE(packtest::Exists(path)) << path << " is no temporary index";
}

TEST(StatIndexBuild, TheCheckStampsEachFileForTheBuild)
{
    packtest::Scratch dir;
    Project project = LoadProject(packtest::MakeProject(dir));
    ASSERT_TRUE(CheckProject(&project, CheckInputs{dir.Path("setup.exe"), std::string()}).empty());
    ASSERT_GE(project.files.size(), 4u);
    for (const InstallFile& file : project.files) {
        StatIndex::Stamp stamp;
        ASSERT_TRUE(StatIndex::StampOf(file.source, &stamp)) << file.source;
        EXPECT_TRUE(file.stamped) << file.source;
        EXPECT_TRUE(file.stamp == stamp) << file.source;
        EXPECT_EQ(file.size, stamp.size) << file.source;
    }
    // A folder where a file was named is no file, with or without a stamp.
    project.files.front().source = dir.Path("docs");
    const std::vector<std::string> problems = CheckProject(&project, CheckInputs{dir.Path("setup.exe"), std::string()});
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems.front().find("is a folder, not a file"), std::string::npos) << problems.front();
    EXPECT_FALSE(project.files.front().stamped);
}

}  // namespace
