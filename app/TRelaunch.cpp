#include "TRelaunch.h"

#include <cstdint>

namespace {

HANDLE HandleOf(uint64_t value)
{
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

uint64_t ValueOf(HANDLE handle)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

TRelaunch::TRelaunch(const cmdline::Options& options)
{
    if (!options.relaunched)
        return;
    parent_ = TOwnedHandle(HandleOf(options.parentProcess));
    if (options.resultPipe != 0)
        result_ = TOwnedHandle(HandleOf(options.resultPipe));
}

Status TRelaunch::Start(const std::string& folder, const std::string& program, const std::string& arguments,
                        bool awaitResult, int* code)
{
    *code = 0;
    // Handles the copy inherits: this process (to wait for its end) and the
    // pipe's write end; the read end stays here.
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0))
        self = nullptr;
    TOwnedHandle selfHandle(self);
    TOwnedHandle readEnd;
    TOwnedHandle writeEnd;
    if (awaitResult) {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        HANDLE r = nullptr;
        HANDLE w = nullptr;
        if (CreatePipe(&r, &w, &inherited, 0)) {
            readEnd = TOwnedHandle(r);
            writeEnd = TOwnedHandle(w);
            SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
        }
    }
    const std::string path = folder + "\\" + program;
    std::string commandLine = "\"" + path + "\" ";
    if (selfHandle.Valid())
        commandLine += cmdline::RelaunchArgument(ValueOf(selfHandle.Get()), ValueOf(writeEnd.Get()));
    commandLine += arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        const DWORD error = GetLastError();
        return Status::Failure(Fault::kPlatform,
                               "The uninstaller cannot start its copy \"" + path + "\" (system error " +
                                   std::to_string(error) + "): nothing has been removed.",
                               "Error!");
    }
    CloseHandle(process.hThread);
    TOwnedHandle child(process.hProcess);
    // The copy holds its own ends now; a copy that ends without a word
    // closes the last write end and the read below returns.
    writeEnd.Close();
    if (!awaitResult)
        return Status();
    int32_t value = 0;
    DWORD got = 0;
    if (readEnd.Valid() && ReadFile(readEnd.Get(), &value, sizeof value, &got, nullptr) && got == sizeof value) {
        *code = value;
        return Status();
    }
    // No result handed over: the copy's own exit code is the result.
    WaitForSingleObject(child.Get(), INFINITE);
    DWORD exitCode = 1;
    if (!GetExitCodeProcess(child.Get(), &exitCode))
        exitCode = 1;
    *code = static_cast<int>(exitCode);
    return Status();
}

void TRelaunch::Report(int code)
{
    if (!result_.Valid())
        return;
    const int32_t value = code;
    DWORD written = 0;
    WriteFile(result_.Get(), &value, sizeof value, &written, nullptr);
    result_.Close();
}

bool TRelaunch::WaitGone(unsigned milliseconds) const
{
    return !parent_.Valid() || WaitForSingleObject(parent_.Get(), milliseconds) == WAIT_OBJECT_0;
}
