#include "ProgramsList.h"

#include "Elevation.h"

#include <windows.h>

namespace programs {

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Owns one open registry key.
class RegistryKey {
public:
    RegistryKey(HKEY root, const std::string& path)
    {
        if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key_, nullptr) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegistryKey()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool Open() const { return key_ != nullptr; }
    bool Text(const char* name, const std::string& value)
    {
        return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    }
    bool Number(const char* name, DWORD value)
    {
        return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
               ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace

Status Register(const install::ProgramEntry& entry)
{
    RegistryKey key(RunsElevated() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kUninstallKey + entry.key);
    bool written = key.Open() && key.Text("DisplayName", entry.displayName) &&
                   key.Text("InstallLocation", entry.location) && key.Text("DisplayIcon", entry.icon) &&
                   key.Text("UninstallString", entry.uninstall) &&
                   key.Text("QuietUninstallString", entry.quietUninstall) &&
                   key.Number("EstimatedSize", entry.sizeKb) && key.Number("NoModify", 1) && key.Number("NoRepair", 1);
    if (written && !entry.publisher.empty())
        written = key.Text("Publisher", entry.publisher);
    if (written && !entry.version.empty())
        written = key.Text("DisplayVersion", entry.version);
    if (written)
        return Status();
    return Status::Failure(Fault::kPlatform,
                           "Can't add \"" + entry.displayName + "\" to the list of installed programs.", "Error!");
}

bool Unregister(const std::string& key)
{
    const std::string path = kUninstallKey + key;
    bool removed = false;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        removed = RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS || removed;
    return removed;
}

}  // namespace programs
