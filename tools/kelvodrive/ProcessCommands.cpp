// Starting a program and reporting its whole 32-bit exit code (a Linux shell
// sees only the low byte of it), and listing the prefix's processes.
#include "Args.h"
#include "Commands.h"
#include "Failure.h"
#include "OutputLine.h"
#include "Text.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>

namespace {

// Quotes one argument so that the program's C runtime splits it back out
// unchanged.
std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++i;
            ++backslashes;
        }
        if (i == argument.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted += argument[i];
    }
    return quoted + L"\"";
}

std::string LastError()
{
    char buffer[32];
    snprintf(buffer, sizeof buffer, "error %lu", GetLastError());
    return buffer;
}

}  // namespace

int CommandRun(const Args& args)
{
    if (args.Rest().empty())
        FailUsage("run needs -- PROGRAM [ARGUMENT]...");
    std::wstring commandLine;
    for (const std::wstring& argument : args.Rest())
        commandLine += (commandLine.empty() ? L"" : L" ") + Quote(argument);
    std::wstring cwd = args.Text(L"cwd");
    long long timeout = args.Number(L"timeout", -1);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(0);
    // Inherited handles give the program this process's standard output and
    // error, which the harness sends to files. Wine now and then answers
    // ERROR_INTERNAL_ERROR on a loaded machine, for a program that starts
    // when asked again: that is its hiccup, not the program's failure.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0)
            Sleep(500);
        started = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 cwd.empty() ? nullptr : cwd.c_str(), &startup, &process) != FALSE;
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR)
            break;
    }
    if (!started)
        Fail("cannot start " + ToUtf8(commandLine) + " (" + LastError() + ")");
    CloseHandle(process.hThread);
    OutputLine().Number("pid", process.dwProcessId).Print();

    DWORD waited = WaitForSingleObject(process.hProcess, timeout < 0 ? INFINITE : static_cast<DWORD>(timeout));
    if (waited == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hProcess);
        OutputLine().Flag("timeout", true).Print();
        FailTimeout("the program ran longer than " + std::to_string(timeout) + " ms and was ended");
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    OutputLine().Number("exit", code).Hex("hex", code).Print();
    return kExitOk;
}

int CommandProcesses(const Args&)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        Fail("cannot list processes (" + LastError() + ")");
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        OutputLine()
            .Number("pid", entry.th32ProcessID)
            .Number("ppid", entry.th32ParentProcessID)
            .Text("exe", entry.szExeFile)
            .Print();
    CloseHandle(snapshot);
    return kExitOk;
}
