#include "SetupLayout.h"

#include "BoundedText.h"
#include "Crc32.h"
#include "Limits.h"
#include "LittleEndian.h"
#include "PeImage.h"
#include "ScriptText.h"

#include <cstring>

namespace layout {

const RelaunchFile kRelaunchFiles[6] = {
    {kModeFile, kModeFile, false}, {kUninstallData, kUninstallCopy, false}, {kScript, kScript, true},
    {kBitmap, kBitmap, true},      {kPresentation, kPresentation, true},    {kAgreement, kAgreement, true},
};

std::string RunFolderName(uint32_t number)
{
    return kRunFolderPrefix + text::Hex8(number);
}

bool IsRunFolder(const std::string& folder)
{
    const size_t slash = folder.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? folder : folder.substr(slash + 1);
    const size_t prefix = sizeof kRunFolderPrefix - 1;
    if (name.size() != prefix + 8 || name.compare(0, prefix, kRunFolderPrefix) != 0)
        return false;
    return name.find_first_not_of("0123456789abcdef", prefix) == std::string::npos;
}

bool IsReservedName(const std::string& name)
{
    static const char* const kOwnNames[] = {kScript, kModeFile, kUninstallData, kInstallRecord, kMemberTemp};
    const std::string folded = FoldCase(name);
    for (const char* own : kOwnNames) {
        if (folded == FoldCase(own))
            return true;
    }
    return false;
}

uint32_t DecodeTrailer(const uint8_t bytes[kTrailerSize])
{
    return Le32(bytes);
}

void EncodeTrailer(uint32_t scriptSize, uint8_t bytes[kTrailerSize])
{
    for (uint64_t i = 0; i < kTrailerSize; ++i)
        bytes[i] = static_cast<uint8_t>(scriptSize >> (8 * i));
}

PackageBounds FindPackageBounds(File& file, uint64_t fileSize)
{
    PackageBounds bounds;
    bounds.end = fileSize;
    PeImage image;
    if (!image.Read(file, fileSize))
        return bounds;
    bounds.imageEnd = image.ImageEnd();
    // Only a table at the very end was put there by a signer; anything else
    // is left to the package, which must then not be mistaken for one.
    if (image.CertificateSize() > 0 && image.CertificateOffset() <= fileSize &&
        image.CertificateOffset() + image.CertificateSize() == fileSize)
        bounds.end = image.CertificateOffset();
    return bounds;
}

Placement PlaceMember(const PackageBounds& bounds, uint64_t indice, uint64_t* start)
{
    *start = 0;
    if (indice > bounds.end)
        return Placement::kBeforeFile;
    *start = bounds.end - indice;
    // A program with no package behind it would otherwise have its own last
    // bytes read as one.
    if (*start < bounds.imageEnd)
        return Placement::kInImage;
    return Placement::kInside;
}

std::string PlacementProblem(Placement placement, const std::string& member)
{
    switch (placement) {
    case Placement::kBeforeFile:
        return "Damaged package: member \"" + member + "\" lies outside the file.";
    case Placement::kInImage:
        return "Damaged package: member \"" + member + "\" lies inside the program itself.";
    case Placement::kInside:
        break;
    }
    return std::string();
}

Status LocateMember(const PackageBounds& bounds, uint64_t indice, const std::string& member, uint64_t* start)
{
    const Placement placement = PlaceMember(bounds, indice, start);
    if (placement == Placement::kInside)
        return Status();
    return Status::Failure(Fault::kDamaged, PlacementProblem(placement, member), "Error!");
}

Status WalkMembers(const PackageBounds& bounds, uint32_t scriptSize, const std::vector<uint32_t>& sizes,
                   std::vector<MemberPlace>* places, size_t first)
{
    places->assign(sizes.size(), MemberPlace());
    MemberWalk walk;
    walk.Step(scriptSize);
    for (size_t k = sizes.size(); k-- > first;) {
        MemberPlace& place = (*places)[k];
        place.walked = true;
        place.indice = walk.Step(sizes[k]);
        place.placement = PlaceMember(bounds, place.indice, &place.start);
        if (place.placement == Placement::kBeforeFile)
            return Status::Failure(Fault::kDamaged,
                                   PlacementProblem(place.placement, ScriptText::RecordKey(static_cast<int>(k))),
                                   "Error!");
    }
    return Status();
}

namespace {

constexpr uint32_t kIntegrityVersion = 1;
constexpr size_t kMagicSize = sizeof kIntegrityMagic - 1;

}  // namespace

uint64_t IntegrityRecordSize(uint64_t members)
{
    return 28 + 4 * members + 4;
}

std::vector<uint8_t> EncodeIntegrity(const IntegrityRecord& record)
{
    std::vector<uint8_t> out(kIntegrityMagic, kIntegrityMagic + kMagicSize);
    AppendLe32(&out, kIntegrityVersion);
    AppendLe32(&out, static_cast<uint32_t>(record.memberCrcs.size()));
    AppendLe32(&out, static_cast<uint32_t>(record.packageSize));
    AppendLe32(&out, static_cast<uint32_t>(record.packageSize >> 32));
    AppendLe32(&out, record.scriptCrc);
    for (const uint32_t crc : record.memberCrcs)
        AppendLe32(&out, crc);
    AppendLe32(&out, Crc32(out.data(), out.size()));
    return out;
}

bool IntegrityHeader(const uint8_t* header, uint32_t* members)
{
    if (std::memcmp(header, kIntegrityMagic, kMagicSize) != 0)
        return false;
    *members = Le32(header + 12);
    return true;
}

bool DecodeIntegrity(const std::vector<uint8_t>& bytes, IntegrityRecord* record)
{
    uint32_t members = 0;
    if (bytes.size() < kIntegrityHeaderSize || !IntegrityHeader(bytes.data(), &members) ||
        bytes.size() != IntegrityRecordSize(members))
        return false;
    const size_t body = bytes.size() - 4;
    if (Le32(bytes.data() + 8) != kIntegrityVersion || Le32(bytes.data() + body) != Crc32(bytes.data(), body))
        return false;
    record->packageSize = static_cast<uint64_t>(Le32(bytes.data() + 16)) |
                          static_cast<uint64_t>(Le32(bytes.data() + 20)) << 32;
    record->scriptCrc = Le32(bytes.data() + 24);
    record->memberCrcs.resize(members);
    for (uint32_t k = 0; k < members; ++k)
        record->memberCrcs[k] = Le32(bytes.data() + 28 + size_t(4) * k);
    return true;
}

const DisplayRole kDisplayRoles[3] = {
    {kKeyArqBmp, kBitmap, "c:\\Windows\\TEMP\\kelvo.bmp", "bitmap"},
    {kKeyArqApresentacao, kPresentation, "c:\\Windows\\TEMP\\pres.txt", "presentation text"},
    {kKeyArqLicenca, kAgreement, "c:\\Windows\\TEMP\\licen.txt", "agreement text"},
};

std::vector<DisplayStep> PlanDisplayFiles(const std::vector<PlanRecord>& records, const std::string (&rolePaths)[3])
{
    bool served[3] = {false, false, false};
    std::vector<DisplayStep> steps;
    steps.reserve(records.size());
    for (size_t i = records.size(); i-- > 0;) {
        const PlanRecord& record = records[i];
        DisplayStep step;
        step.record = i;
        step.size = record.TamComp;
        for (int role = 0; role < 3 && !record.flagged; ++role) {
            if (served[role] || rolePaths[role].empty() || record.arq != rolePaths[role])
                continue;
            if (step.member.empty()) {
                step.member = kDisplayRoles[role].fixedName;
                step.extract = true;
            } else {
                step.copies.push_back(kDisplayRoles[role].fixedName);
            }
            step.roles.push_back(role);
            served[role] = true;
        }
        if (step.member.empty())
            step.member = "?record " + std::to_string(i);  // '?' is in no file name
        steps.push_back(std::move(step));
    }
    return steps;
}

std::string InstalledName(const std::string& arq, size_t sourceLength)
{
    return arq.size() > sourceLength ? arq.substr(sourceLength) : std::string();
}

bool IsContainedName(const std::string& name)
{
    if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t cut = name.find_first_of("\\/", start);
        const std::string part = name.substr(start, cut == std::string::npos ? cut : cut - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (cut == std::string::npos)
            return true;
        start = cut + 1;
    }
}

std::string FoldCase(const std::string& ansi)
{
    std::string folded = ansi;
    for (char& c : folded) {
        const auto b = static_cast<unsigned char>(c);
        const bool ascii = b >= 'a' && b <= 'z';
        const bool latin = b >= 0xE0 && b <= 0xFE && b != 0xF7;
        if (ascii || latin)
            c = static_cast<char>(b - 0x20);
        else if (b == 0x9A || b == 0x9C || b == 0x9E)
            c = static_cast<char>(b - 0x10);
        else if (b == 0xFF)
            c = static_cast<char>(0x9F);
    }
    return folded;
}

bool IsCommandSafe(const std::string& text, char* bad)
{
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || std::strchr(",()[]\"", c) != nullptr) {
            *bad = c;
            return false;
        }
    }
    return true;
}

std::string FormatUninstallData(const std::string& storedGroup, const std::string& destination)
{
    return storedGroup + "\r\n" + destination;
}

namespace {

// The line starting at `at`, without its line break; `at` moves past it.
std::string NextLine(const std::string& bytes, size_t* at)
{
    const size_t start = *at;
    size_t stop = bytes.find('\n', start);
    *at = stop == std::string::npos ? bytes.size() : stop + 1;
    if (stop == std::string::npos)
        stop = bytes.size();
    if (stop > start && bytes[stop - 1] == '\r')
        --stop;
    return bytes.substr(start, stop - start);
}

}  // namespace

Status ParseUninstallData(const std::string& bytes, std::string* storedGroup, std::string* destination)
{
    size_t at = 0;
    *storedGroup = NextLine(bytes, &at);
    *destination = NextLine(bytes, &at);
    const struct {
        const std::string& line;
        const char* what;
    } lines[] = {{*storedGroup, "the program group's name"}, {*destination, "the destination folder"}};
    for (const auto& line : lines) {
        if (line.line.empty())
            return Status::Failure(Fault::kDamaged, std::string("it holds no ") + line.what, "Error!");
        // A CR left inside a line was never written by the installer, and
        // one at the very end would be taken for half a line break.
        if (line.line.size() > kPathMax || line.line.find_first_of(std::string("\r\0", 2)) != std::string::npos)
            return Status::Failure(Fault::kDamaged, std::string("its line for ") + line.what + " is damaged", "Error!");
    }
    return Status();
}

}  // namespace layout
