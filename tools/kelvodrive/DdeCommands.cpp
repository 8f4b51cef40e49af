// The program-group service as a client sees it: the "Groups" request, plain
// commands, and the shortcut files that hold a group's items.
#include "Args.h"
#include "Commands.h"
#include "Failure.h"
#include "OutputLine.h"
#include "Text.h"
#include "WindowQuery.h"

#include <windows.h>
#include <ddeml.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>

namespace {

HDDEDATA CALLBACK IgnoreEvents(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

std::string ErrorName(UINT error)
{
    char buffer[64];
    snprintf(buffer, sizeof buffer, "DMLERR 0x%04x", error);
    return buffer;
}

// An 8-bit DDEML client of "PROGMAN", as the setup program is one.
class ProgmanClient {
public:
    explicit ProgmanClient(const Deadline& deadline)
    {
        if (DdeInitializeA(&instance_, IgnoreEvents, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
            Fail("DdeInitialize failed");
        name_ = DdeCreateStringHandleA(instance_, "PROGMAN", CP_WINANSI);
        // The shell's service comes up with the desktop process, which a
        // fresh prefix may still be starting.
        for (;;) {
            conversation_ = DdeConnect(instance_, name_, name_, nullptr);
            if (conversation_)
                break;
            if (deadline.Passed())
                Fail("no conversation with PROGMAN (" + ErrorName(DdeGetLastError(instance_)) + ")");
            Pause();
        }
    }
    ~ProgmanClient()
    {
        if (conversation_)
            DdeDisconnect(conversation_);
        if (name_)
            DdeFreeStringHandle(instance_, name_);
        DdeUninitialize(instance_);
    }
    ProgmanClient(const ProgmanClient&) = delete;
    ProgmanClient& operator=(const ProgmanClient&) = delete;

    std::string Request(const char* item, DWORD timeoutMs)
    {
        HSZ itemName = DdeCreateStringHandleA(instance_, item, CP_WINANSI);
        HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation_, itemName, CF_TEXT, XTYP_REQUEST, timeoutMs,
                                             nullptr);
        UINT error = DdeGetLastError(instance_);
        DdeFreeStringHandle(instance_, itemName);
        if (!data)
            Fail(std::string("request '") + item + "' failed (" + ErrorName(error) + ")");
        DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string text(size, '\0');
        if (size)
            DdeGetData(data, reinterpret_cast<BYTE*>(&text[0]), size, 0);
        DdeFreeDataHandle(data);
        size_t end = text.find('\0');
        if (end != std::string::npos)
            text.resize(end);
        return text;
    }

    void Execute(const std::string& command, DWORD timeoutMs)
    {
        std::vector<BYTE> data(command.begin(), command.end());
        data.push_back(0);
        HDDEDATA result = DdeClientTransaction(data.data(), static_cast<DWORD>(data.size()), conversation_, nullptr,
                                               CF_TEXT, XTYP_EXECUTE, timeoutMs, nullptr);
        if (!result)
            Fail("command refused (" + ErrorName(DdeGetLastError(instance_)) + "): " + command);
    }

private:
    DWORD instance_ = 0;
    HSZ name_ = nullptr;
    HCONV conversation_ = nullptr;
};

DWORD TransactionTimeout(const Args& args)
{
    return static_cast<DWORD>(args.Number(L"dde-timeout", 5000));
}

class ComScope {
public:
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

template <class T>
void Release(T*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

// target, arguments, working folder, icon and description of a shortcut.
void DescribeShortcut(const std::wstring& path, OutputLine& line)
{
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
        FAILED(file->Load(path.c_str(), STGM_READ))) {
        Release(file);
        Release(link);
        line.Flag("readable", false);
        return;
    }
    wchar_t buffer[1024];
    int icon = 0;
    buffer[0] = 0;
    link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
    line.Text("target", buffer);
    buffer[0] = 0;
    link->GetArguments(buffer, 1024);
    line.Text("args", buffer);
    buffer[0] = 0;
    link->GetWorkingDirectory(buffer, 1024);
    line.Text("workdir", buffer);
    buffer[0] = 0;
    link->GetIconLocation(buffer, 1024, &icon);
    line.Text("icon", buffer).Number("icon-index", icon);
    buffer[0] = 0;
    link->GetDescription(buffer, 1024);
    line.Text("description", buffer);
    Release(file);
    Release(link);
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && SameNoCase(text.substr(text.size() - end.size()), end);
}

}  // namespace

int CommandGroups(const Args& args)
{
    ProgmanClient client{Deadline(TimeoutOf(args))};
    std::string reply = client.Request("Groups", TransactionTimeout(args));
    size_t start = 0;
    while (start < reply.size()) {
        size_t end = reply.find("\r\n", start);
        if (end == std::string::npos)
            end = reply.size();
        if (end > start)
            OutputLine().Text("group", FromAnsi(reply.substr(start, end - start))).Print();
        start = end + 2;
    }
    return kExitOk;
}

int CommandDdeExec(const Args& args)
{
    if (!args.Has(L"command"))
        FailUsage("dde-exec needs --command=[Command(...)]");
    ProgmanClient client{Deadline(TimeoutOf(args))};
    client.Execute(ToAnsi(args.Text(L"command")), TransactionTimeout(args));
    OutputLine().Flag("ok", true).Print();
    return kExitOk;
}

int CommandGroupItems(const Args& args)
{
    if (!args.Has(L"group"))
        FailUsage("group-items needs --group=NAME [--common]");
    // --common: the Programs folder of all users, where an elevated setup
    // makes its groups without the service.
    const int csidl = args.Has(L"common") ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
    wchar_t programs[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, programs)))
        Fail("cannot find the Programs folder");
    std::wstring folder = std::wstring(programs) + L"\\" + args.Text(L"group");
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        Fail("no group folder " + ToUtf8(folder));
    OutputLine().Text("folder", folder).Print();
    ComScope com;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return kExitOk;
    do {
        std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        OutputLine line;
        line.Text("file", name);
        if (EndsWithNoCase(name, L".lnk")) {
            line.Text("item", name.substr(0, name.size() - 4));
            DescribeShortcut(folder + L"\\" + name, line);
        }
        line.Print();
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return kExitOk;
}
