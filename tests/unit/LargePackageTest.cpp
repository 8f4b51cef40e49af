// A package larger than 4 GiB, in a sparse file: two members of several
// GiB that are never written (holes), real members in front of them, whose
// distance from the end passes 4 GiB, and real members, the script and the
// trailer behind them, more than 4 GiB from the start. Both readers must
// find every member exactly where the layout puts it; only a few MB are
// written to the disk.
#include "CollectingSink.h"
#include "FileSys.h"
#include "Lzss.h"
#include "LzssDecoder.h"
#include "PackageReader.h"
#include "Platform.h"
#include "ScriptText.h"
#include "SetupLayout.h"
#include "TApend.h"
#include "TListaDado.h"
#include "TScript.h"

#include "FakePe.h"
#include "ScratchDisk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "StatusText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kFourGiB = uint64_t(1) << 32;

std::string Why(const Status& status)
{
    return status.Caption() + ": " + status.Text();
}

std::vector<uint8_t> Packed(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    out.resize(lzss::Compress(in.data(), in.size(), out.data(), out.size()));
    return out;
}

// Text lines and random runs, so that the coder meets both.
std::vector<uint8_t> Content(size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> out;
    while (out.size() < size) {
        if (rng() % 2 == 0) {
            const std::string line = "line " + std::to_string(rng() % 1000) + " of member " + std::to_string(seed) +
                                     "\r\n";
            out.insert(out.end(), line.begin(), line.end());
        } else {
            for (unsigned i = rng() % 300; i > 0; --i)
                out.push_back(static_cast<uint8_t>(rng()));
        }
    }
    out.resize(size);
    return out;
}

// A file written only where asked; what lies between stays a hole.
class SparseFile {
public:
    explicit SparseFile(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644)) {}
    ~SparseFile()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    SparseFile(const SparseFile&) = delete;
    SparseFile& operator=(const SparseFile&) = delete;

    bool Resize(uint64_t size) { return fd_ >= 0 && ftruncate(fd_, static_cast<off_t>(size)) == 0; }
    bool WriteAt(uint64_t at, const std::vector<uint8_t>& bytes)
    {
        return fd_ >= 0 &&
               pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(bytes.size());
    }
    // Bytes the file really occupies on the disk.
    uint64_t Allocated() const
    {
        struct stat st {};
        return fd_ >= 0 && fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_blocks) * 512 : UINT64_MAX;
    }

private:
    int fd_;
};

// Whether the file system here keeps a file's unwritten ranges unallocated.
bool MakesHoles(const std::string& path)
{
    bool holes = false;
    {
        SparseFile probe(path);
        holes = probe.Resize(kFourGiB + 4096) && probe.WriteAt(kFourGiB, {1}) &&
                probe.Allocated() < (uint64_t(1) << 20);
    }
    std::remove(path.c_str());
    return holes;
}

struct Member {
    const char* name;  // below the source folder
    uint32_t TamComp;  // a hole member's compressed size
    size_t size;       // a real member's original size; 0 for a hole
    bool full;         // installed by the Full mode (the holes: Typical only)
    std::vector<uint8_t> original;
    std::vector<uint8_t> packed;
    uint64_t start = 0;  // where it was put in the file
};

const char kOrig[] = "C:\\src\\";

TEST(LargePackage, MembersPastFourGiBAreReadWhereTheLayoutPutsThem)
{
    TempDir dir;
    const std::string setup = dir / "setup.exe";
    if (!MakesHoles(setup))
        GTEST_SKIP() << "this file system cannot make a sparse file of over 4 GiB";

    std::vector<Member> members = {
        {"app\\head.txt", 0, 150000, true, {}, {}},       {"app\\big1.dat", 0xF0000000u, 0, false, {}, {}},
        {"app\\big2.dat", 0x30000000u, 0, false, {}, {}}, {"app\\data\\tail.bin", 0, 1500000, true, {}, {}},
        {"app\\last.txt", 0, 5000, true, {}, {}},
    };
    ScriptText script;
    script.Append(kKeyDirOrig, kOrig);
    const std::vector<uint8_t> image = fakepe::Image();
    uint64_t at = image.size();
    for (size_t k = 0; k < members.size(); ++k) {
        Member& m = members[k];
        if (m.size > 0) {
            m.original = Content(m.size, static_cast<unsigned>(k));
            m.packed = Packed(m.original);
            m.TamComp = static_cast<uint32_t>(m.packed.size());
        }
        m.start = at;
        at += m.TamComp;
        ScriptRecord record;
        record.arq = std::string(kOrig) + m.name;
        record.nome = "_";
        record.TamOrig = m.size > 0 ? static_cast<uint32_t>(m.size) : m.TamComp;
        record.TamComp = m.TamComp;
        record.Ful = m.full;
        record.Typ = true;
        script.Append(ScriptText::RecordKey(static_cast<int>(k)), ScriptText::FormatRecord(record));
    }
    const std::vector<uint8_t> scriptText = script.Bytes();
    const std::vector<uint8_t> scriptPacked = Packed(scriptText);
    const uint64_t scriptStart = at;
    std::vector<uint8_t> trailer(layout::kTrailerSize);
    layout::EncodeTrailer(static_cast<uint32_t>(scriptPacked.size()), trailer.data());
    const uint64_t fileSize = scriptStart + scriptPacked.size() + trailer.size();
    {
        SparseFile file(setup);
        ASSERT_TRUE(file.Resize(fileSize));
        ASSERT_TRUE(file.WriteAt(0, image));
        for (const Member& m : members)
            ASSERT_TRUE(file.WriteAt(m.start, m.packed));
        ASSERT_TRUE(file.WriteAt(scriptStart, scriptPacked));
        ASSERT_TRUE(file.WriteAt(scriptStart + scriptPacked.size(), trailer));
        EXPECT_LT(file.Allocated(), uint64_t(64) << 20);
    }
    // The members in front lie more than 4 GiB from the end, those behind
    // more than 4 GiB from the start.
    ASSERT_GT(fileSize - members[0].start, kFourGiB);
    ASSERT_GT(members[3].start, kFourGiB);
    const std::vector<size_t> real = {4, 3, 0};  // from the last, as the installer reads

    // The tools' reader, in small blocks so that it seeks and refills often.
    {
        PackageReader reader(size_t(1) << 16);
        std::string error;
        ASSERT_TRUE(Succeeded(reader.Open(setup.c_str()), &error)) << error;
        EXPECT_EQ(reader.FileSize(), fileSize);
        EXPECT_EQ(reader.End(), fileSize);
        EXPECT_EQ(reader.ImageEnd(), image.size());
        EXPECT_EQ(reader.ScriptStart(), scriptStart);
        std::vector<uint8_t> text;
        ASSERT_TRUE(Succeeded(reader.ReadScript(&text), &error)) << error;
        ASSERT_EQ(text, scriptText);

        const ScriptText parsed = ScriptText::Parse(text);
        std::vector<uint32_t> sizes;
        for (size_t k = 0; k < members.size(); ++k) {
            std::string value;
            ScriptRecord record;
            ASSERT_TRUE(parsed.Get(ScriptText::RecordKey(static_cast<int>(k)).c_str(), &value));
            ASSERT_TRUE(ScriptText::ParseRecord(value, &record, &error)) << error;
            sizes.push_back(record.TamComp);
        }
        std::vector<layout::MemberPlace> places;
        ASSERT_TRUE(Succeeded(layout::WalkMembers(reader.Bounds(), reader.ScriptSize(), sizes, &places), &error))
            << error;
        std::vector<uint64_t> starts;
        for (const layout::MemberPlace& place : places)
            starts.push_back(place.start);
        for (size_t k = 0; k < members.size(); ++k)
            EXPECT_EQ(starts[k], members[k].start) << members[k].name;

        for (const size_t k : real) {
            CollectingSink sink;
            PackageReader::Decoded decoded;
            ASSERT_TRUE(Succeeded(reader.Decode(starts[k], sizes[k], sink, &decoded), &error)) << error;
            EXPECT_EQ(decoded.bytesIn, sizes[k]) << members[k].name;
            EXPECT_EQ(decoded.bytesOut, members[k].size) << members[k].name;
            EXPECT_TRUE(sink.bytes == members[k].original) << members[k].name;
        }
        // Nothing is read from beyond the package's end.
        CollectingSink sink;
        PackageReader::Decoded decoded;
        EXPECT_FALSE(Succeeded(reader.Decode(fileSize - 2, 3, sink, &decoded), &error));
        EXPECT_FALSE(error.empty());
    }

    // The installer's reading in the Full mode: the script from the trailer,
    // every record registered from the last to the first, the Full members
    // extracted with their folders.
    const std::string destination = dir / "destination";
    std::filesystem::create_directories(destination);
    {
        testfs::InFolder in(destination);
        TApend apend(setup.c_str());
        const Status extracted = apend.TryExtrairArq(layout::kScript);
        ASSERT_TRUE(extracted.Ok()) << Why(extracted);
        EXPECT_EQ(ReadFile(layout::kScript), scriptText);
        TListaDado list;
        {
            TScript reader(layout::kScript);
            const Status read = reader.TryLerRegistros(&list, std::strlen(kOrig));
            ASSERT_TRUE(read.Ok()) << Why(read);
        }
        platform::RemoveFile(layout::kScript);
        ASSERT_EQ(list.NDados(), static_cast<int>(members.size()));
        for (int i = list.NDados() - 1; i >= 0; --i) {
            const Member& m = members[static_cast<size_t>(i)];
            EXPECT_STREQ(list.Arq(i), m.name);
            ASSERT_EQ(list.TamComp(i), m.TamComp) << m.name;
            const Status included = apend.TryIncluirFat(list.Arq(i), list.TamComp(i));
            ASSERT_TRUE(included.Ok()) << Why(included);
            uint64_t indice = 0;
            uint32_t tam = 0;
            apend.LerFat(list.Arq(i), &indice, &tam);
            EXPECT_EQ(indice, fileSize - m.start) << m.name;
            EXPECT_EQ(tam, m.TamComp) << m.name;
        }
        for (const size_t k : real) {
            const char* name = list.Arq(static_cast<int>(k));
            ASSERT_TRUE(list.Ful(static_cast<int>(k)));
            const Status made = TryMakePath(name);
            ASSERT_TRUE(made.Ok()) << Why(made);
            uint64_t written = 0;
            const Status member = apend.TryExtrairArq(name, nullptr, members[k].size, &written);
            ASSERT_TRUE(member.Ok()) << name << ": " << Why(member);
            EXPECT_EQ(written, members[k].size) << name;
        }

        // One more member would begin inside the program, then in front of
        // the file: both refused, though their offsets pass 4 GiB.
        const uint32_t intoImage = static_cast<uint32_t>(image.size() / 2);
        ASSERT_TRUE(apend.TryIncluirFat("into-image", intoImage).Ok());
        Status refused = apend.TryExtrairArq("into-image");
        EXPECT_EQ(refused.Text(), layout::PlacementProblem(layout::Placement::kInImage, "into-image"));
        ASSERT_TRUE(apend.TryIncluirFat("before-file", static_cast<uint32_t>(image.size())).Ok());
        refused = apend.TryExtrairArq("before-file");
        EXPECT_EQ(refused.Text(), layout::PlacementProblem(layout::Placement::kBeforeFile, "before-file"));
    }
    EXPECT_EQ(ReadFile(dir / "destination/app/head.txt"), members[0].original);
    EXPECT_EQ(ReadFile(dir / "destination/app/data/tail.bin"), members[3].original);
    EXPECT_EQ(ReadFile(dir / "destination/app/last.txt"), members[4].original);
    EXPECT_FALSE(testfs::Exists(dir / "destination/app/big1.dat"));
    EXPECT_FALSE(testfs::Exists(dir / "destination/into-image"));
}

}  // namespace
