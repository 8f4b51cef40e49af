#include "SetupProgram.h"

#include "File.h"
#include "PeImage.h"
#include "PeResources.h"
#include "Platform.h"

#include <cstdio>

namespace {

constexpr uint32_t kDialog = 5;     // RT_DIALOG
constexpr uint32_t kManifest = 24;  // RT_MANIFEST
constexpr uint32_t kAboutDialog = 6;
constexpr uint32_t kBrowseDialog = 32253;
constexpr uint16_t kGui = 2;
constexpr uint32_t kLongestManifest = 64 * 1024;

}  // namespace

bool SetupProgram::Inspect(const std::string& path, std::string* why)
{
    *this = SetupProgram();
    File file(path.c_str(), "rb");
    const int64_t size = file.IsOpen() && !platform::FolderExists(path.c_str()) ? file.Size() : -1;
    if (size < 0) {
        *why = "cannot read it";
        return false;
    }
    readable = true;
    PeImage image;
    if (!image.Read(file, static_cast<uint64_t>(size))) {
        *why = "it is no Windows program";
        return false;
    }
    if ((image.Machine() != 0x14C && image.Machine() != 0x8664) || image.Subsystem() != kGui) {
        *why = "it is no Windows program with a window for i386 or x86-64";
        return false;
    }
    PeResources resources;
    if (!resources.Read(file, static_cast<uint64_t>(size)) || resources.Find(kDialog, "IDD_PROGRESS") == nullptr ||
        resources.Find(kDialog, kAboutDialog) == nullptr || resources.Find(kDialog, kBrowseDialog) == nullptr) {
        *why = "it lacks the setup's dialogs (\"IDD_PROGRESS\", 6 and 32253)";
        return false;
    }
    machine = image.Machine();
    certificateSize = image.CertificateSize();
    const uint64_t end = certificateSize > 0 ? image.CertificateOffset() : static_cast<uint64_t>(size);
    behindImage = end > image.ImageEnd() ? end - image.ImageEnd() : 0;
    if (const PeResources::Resource* manifest = resources.Find(kManifest, 1);
        manifest != nullptr && manifest->size <= kLongestManifest) {
        std::string text(manifest->size, '\0');
        if (file.Seek(static_cast<int64_t>(manifest->offset), SEEK_SET) &&
            file.Read(&text[0], text.size()) == text.size()) {
            if (text.find("\"requireAdministrator\"") != std::string::npos ||
                text.find("'requireAdministrator'") != std::string::npos)
                level = ExecutionLevel::Admin;
            else if (text.find("\"asInvoker\"") != std::string::npos || text.find("'asInvoker'") != std::string::npos)
                level = ExecutionLevel::User;
        }
    }
    return true;
}
