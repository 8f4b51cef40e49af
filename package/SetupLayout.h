// The layout of a setup, written once: where the package lies in the
// executable, the names the setup program uses for itself, which package
// member serves which display role, and which names may be installed. The
// setup program, the package readers and kelvopack all ask here.
//
//   +----------------+----------+-----+------------+-----------+---------+
//   | program image  | member 0 | ... | member n-1 | script    | trailer |
//   | (and padding)  | C(0)     |     | C(n-1)     | S bytes   | 4 bytes |
//   +----------------+----------+-----+------------+-----------+---------+
//                    ^ imageEnd or later                       ^ end - 4
//   trailer = S, unsigned 32-bit little-endian
//   member k starts at end - (4 + S + C(k) + ... + C(n-1))
//
// `end` is the file's length, or, in a signed setup, the start of the
// certificate table that the PE header places at the very end of the file.
// The members are LZSS streams (Lzss.h); their sizes C(k) come from the
// file records of the script (ScriptText.h), in record order. A member's
// offset (its "Indice") is its distance from `end` to its first byte.
#pragma once

#include "Status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class File;

namespace layout {

// ---- Fixed names -----------------------------------------------------------

// The setup script, as a package member and as a working file.
inline constexpr char kScript[] = "kelvo.se";
// The display files, as start-up extracts them into the temporary folder.
inline constexpr char kBitmap[] = "kelvo.bmp";
inline constexpr char kPresentation[] = "pres.txt";
inline constexpr char kAgreement[] = "licen.txt";
// Working files of the temporary folder: the executable's file name and the
// folder it was started from.
inline constexpr char kProgramName[] = "apend.se";
inline constexpr char kStartFolder[] = "cur.se";
// Left in the destination folder for the uninstaller: "U", and the group
// name and destination; the relaunch copies the latter as kUninstallCopy.
inline constexpr char kModeFile[] = "modo.se";
inline constexpr char kUninstallData[] = "uninstall.s_";
inline constexpr char kUninstallCopy[] = "uninstall.se";
// Beside the uninstall data: what the installation wrote (InstallRecord.h).
inline constexpr char kInstallRecord[] = "installed.s_";
// Transient files of one operation in the current folder.
inline constexpr char kMemberTemp[] = "arq.huf";
inline constexpr char kScriptTemp[] = "arq.tmp";
// The temporary folder is the Windows folder followed by this; each run
// keeps its working files in a fresh folder in it, named this and eight
// hexadecimal digits.
inline constexpr char kTempBelowWindows[] = "\\TEMP";
inline constexpr char kRunFolderPrefix[] = "kelvo-";
// What the mode file holds after an installation.
inline constexpr char kUninstallMark = 'U';

// The name of a run's own working folder: kRunFolderPrefix and `number`
// in eight hexadecimal digits.
std::string RunFolderName(uint32_t number);
// Whether the last component of `folder` is such a name.
bool IsRunFolder(const std::string& folder);

// What the uninstaller's copy in the temporary folder finds beside it: the
// files it reads and shows, nothing else (no member of the application).
// `source` is the name the installed copy has it under, `name` the copy's;
// `fromPackage` ones the installed copy extracts there as start-up does
// (as far as the script names them), the others it copies from its folder.
// The program image is copied too, without the package behind it.
struct RelaunchFile {
    const char* source;
    const char* name;
    bool fromPackage;
};
extern const RelaunchFile kRelaunchFiles[6];

// Whether a name installed into the destination folder's top would take
// the place of a file the setup keeps there for itself (letter case aside).
bool IsReservedName(const std::string& name);

// ---- Where the package lies ------------------------------------------------

inline constexpr uint64_t kTrailerSize = 4;
uint32_t DecodeTrailer(const uint8_t bytes[kTrailerSize]);
void EncodeTrailer(uint32_t scriptSize, uint8_t bytes[kTrailerSize]);

struct PackageBounds {
    uint64_t imageEnd = 0;  // end of the program image; 0 for a file that is no PE image
    uint64_t end = 0;       // end of the package
};
// Reads the PE headers of an open file of `fileSize` bytes.
PackageBounds FindPackageBounds(File& file, uint64_t fileSize);

enum class Placement {
    kInside,      // within the package
    kBeforeFile,  // would begin in front of the file's start
    kInImage,     // would begin inside the program image
};
// Where the member at `indice` from the end begins (*start) and whether
// that is a place a member may lie.
Placement PlaceMember(const PackageBounds& bounds, uint64_t indice, uint64_t* start);
// The message for a misplaced member, naming it.
std::string PlacementProblem(Placement placement, const std::string& member);
// PlaceMember as a Status: a failure (kDamaged, PlacementProblem's text,
// caption "Error!") unless the member lies inside the package.
Status LocateMember(const PackageBounds& bounds, uint64_t indice, const std::string& member, uint64_t* start);

// ---- The walk over the members ---------------------------------------------
//
// Members are counted backwards from the package's end: behind the trailer
// lies the script (its size from the trailer), in front of it record n-1,
// then n-2, and so on, each directly in front of all counted before it.
// Every reader of a package counts here.
class MemberWalk {
public:
    // Nothing counted yet but the trailer.
    MemberWalk() = default;
    // Counts the member of `size` bytes lying in front of all counted so
    // far: its offset (its "Indice").
    uint64_t Step(uint32_t size)
    {
        indice_ += size;
        return indice_;
    }
    uint64_t Indice() const { return indice_; }

private:
    uint64_t indice_ = kTrailerSize;
};

struct MemberPlace {
    bool walked = false;  // reached by the walk
    uint64_t indice = 0;  // distance from the package's end to its first byte
    uint64_t start = 0;   // its first byte
    Placement placement = Placement::kBeforeFile;
};
// The whole walk behind a script of `scriptSize` bytes: the place of each
// record's member from the compressed sizes in record order, counted from
// the last record down to `first` (those in front of it are not walked).
// It stops at the first member that would begin in front of the file: that
// one is walked and reported (kDamaged, naming its record key), those in
// front of it are not walked.
Status WalkMembers(const PackageBounds& bounds, uint32_t scriptSize, const std::vector<uint32_t>& sizes,
                   std::vector<MemberPlace>* places, size_t first = 0);

// ---- The integrity record ----------------------------------------------------
//
// kelvopack writes it directly behind the program image, in the gap in
// front of the first member that the reading protocol never reads: a setup
// without one reads as before, and an older reader reads one with it.
//
//   offset  size  content (little-endian)
//     0      8    "KELVOCRC"
//     8      4    version, 1
//    12      4    n, the number of file records
//    16      8    P, the package's size: members, script and trailer lie
//                 in the last P bytes before the package's end
//    24      4    CRC-32 of the script and the trailer
//    28     4 n   CRC-32 of member k, for k = 0 .. n - 1
//  28+4n     4    CRC-32 of the record's bytes above
struct IntegrityRecord {
    uint64_t packageSize = 0;
    uint32_t scriptCrc = 0;
    std::vector<uint32_t> memberCrcs;
};
inline constexpr char kIntegrityMagic[] = "KELVOCRC";
inline constexpr size_t kIntegrityHeaderSize = 16;  // what tells the record's size
uint64_t IntegrityRecordSize(uint64_t members);
std::vector<uint8_t> EncodeIntegrity(const IntegrityRecord& record);
// From the first kIntegrityHeaderSize bytes at the image's end: whether a
// record begins there, and with how many members.
bool IntegrityHeader(const uint8_t* header, uint32_t* members);
// The whole record; false when its own CRC or version does not match.
bool DecodeIntegrity(const std::vector<uint8_t>& bytes, IntegrityRecord* record);

// ---- The display files -----------------------------------------------------

struct DisplayRole {
    const char* key;         // the script key naming the record
    const char* fixedName;   // the name start-up extracts it under
    const char* recordPath;  // the record path kelvopack writes for it
    const char* what;        // for messages
};
// Bitmap, presentation text, agreement text, in the order start-up matches them.
extern const DisplayRole kDisplayRoles[3];

// One file record as the display plan sees it.
struct PlanRecord {
    std::string arq;       // the path as the script gives it
    bool flagged = false;  // any of the flags G, F, T, M
    uint32_t TamComp = 0;
};

// One registration of start-up's walk over the records.
struct DisplayStep {
    size_t record = 0;                // the record registered
    std::string member;               // the name it is registered under
    uint32_t size = 0;                // its compressed size
    bool extract = false;             // write it out as `member`
    std::vector<std::string> copies;  // further display names it serves
    std::vector<int> roles;           // the roles served (kDisplayRoles), member's first
};

// Start-up's plan: every record, from the last to the first, registered
// once, so that each member is found where the package puts it. A record
// without flags whose path equals the value of a display key (compared
// exactly; `rolePaths` in the order of kDisplayRoles, empty for a key the
// script lacks) serves that role: the first role it serves names the file
// it is extracted to, further roles get copies. Each role is served by the
// last record (in file order) that names it. Every other record is
// registered under a name no file can have, and not extracted.
std::vector<DisplayStep> PlanDisplayFiles(const std::vector<PlanRecord>& records, const std::string (&rolePaths)[3]);

// ---- Installed names -------------------------------------------------------

// The name a record is installed under: its path without the first
// `sourceLength` characters (the source folder is cut off by its length).
// Empty when the path is not longer than that.
std::string InstalledName(const std::string& arq, size_t sourceLength);

// Whether a name stays inside the folder it is installed into: relative,
// no drive, no empty, "." or ".." component. Both separators count.
bool IsContainedName(const std::string& name);

// Letter case folded as Windows compares names (ASCII and code page 1252).
std::string FoldCase(const std::string& ansi);

// Whether text can be one argument of a program-group command: no ",",
// brackets, parentheses, double quotes or control characters. *bad
// receives the first character that cannot.
bool IsCommandSafe(const std::string& text, char* bad);

// ---- The uninstall data ----------------------------------------------------

// "uninstall.s_": the group name in its stored form (blanks after the first
// character as "@"), a line break (CR LF), the destination folder.
std::string FormatUninstallData(const std::string& storedGroup, const std::string& destination);
// Its two lines (a line break is LF or CR LF; a line holds at most
// kPathMax characters). A failure (kDamaged), its text the reason, when a
// line is missing or empty, or holds a CR or a zero.
Status ParseUninstallData(const std::string& bytes, std::string* storedGroup, std::string* destination);

}  // namespace layout
