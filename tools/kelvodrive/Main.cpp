// kelvodrive: drives and inspects Windows programs from outside, for the
// automated end-to-end runs under Wine. One command per invocation; output
// is one key=value line per window, control or result; failures go to
// standard error with a non-zero exit code (see Failure.h).
//
// `kelvodrive serve` reads one command line per line of standard input
// (UTF-8, quoted as on a Windows command line) and answers each with its
// output lines, an error="..." line if it failed, and end=EXITCODE. Starting
// a Wine process per command costs far more than the command itself.
#include "Args.h"
#include "Commands.h"
#include "Failure.h"
#include "OutputLine.h"
#include "Text.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace {

const struct {
    const wchar_t* name;
    int (*run)(const Args&);
} kCommands[] = {
    {L"windows", CommandWindows},
    {L"wait", CommandWait},
    {L"wait-gone", CommandWaitGone},
    {L"children", CommandChildren},
    {L"close", CommandClose},
    {L"click", CommandClick},
    {L"set-text", CommandSetText},
    {L"type", CommandType},
    {L"select", CommandSelect},
    {L"items", CommandItems},
    {L"scroll", CommandScroll},
    {L"msgbox", CommandMsgBox},
    {L"msgbox-press", CommandMsgBoxPress},
    {L"groups", CommandGroups},
    {L"group-items", CommandGroupItems},
    {L"dde-exec", CommandDdeExec},
    {L"run", CommandRun},
    {L"processes", CommandProcesses},
};

const char kUsage[] =
    "usage: kelvodrive COMMAND [--option=value]... [-- PROGRAM ARGS...]\n"
    "window choice: --title= --title-part= --class= --exe= --pid= --hwnd= [--hidden]\n"
    "               --timeout=MS (10000) --min-children=N (1)\n"
    "control choice: --id= --text= --text-part= --ctl-class= --ctl-hwnd= --nth=K\n"
    "commands:\n"
    "  windows                      top-level windows (all with --hidden)\n"
    "  wait [control] [--enabled]   wait for a window (and a control in it)\n"
    "  wait-gone [control]          wait until the window (or control) is gone\n"
    "  children                     the window, then every control below it\n"
    "  close [--all]                post WM_CLOSE\n"
    "  click control [--force]      post BM_CLICK (refused if disabled)\n"
    "  set-text control --value=T   WM_SETTEXT\n"
    "  type control --value=T [--append]  post WM_CHAR per character\n"
    "  select control (--item=N|--string=T) [--double]  list box choice\n"
    "  items control                list box entries\n"
    "  scroll control --code=LINEDOWN|... [--pos=N] [--repeat=N] [--horizontal]\n"
    "  msgbox                       read a message box (--title= is the caption)\n"
    "  msgbox-press --button=YES|NO|OK|CANCEL|ID\n"
    "  groups                       program groups over DDE (PROGMAN)\n"
    "  dde-exec --command=[...]     one PROGMAN command\n"
    "  group-items --group=NAME     the shortcuts of a group, of all users'\n"
    "              [--common]       with --common\n"
    "  run [--cwd=DIR] [--timeout=MS] -- PROGRAM ARGS...  exit code in full\n"
    "  processes                    processes of the prefix\n"
    "  serve                        commands from standard input, each answered\n"
    "                               by its lines, error=\"...\" and end=CODE\n"
    "exit codes: 0 done, 1 failed, 2 wrong usage, 3 timed out\n";

int Dispatch(const Args& args)
{
    if (args.Command() == L"help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    for (const auto& command : kCommands)
        if (args.Command() == command.name)
            return command.run(args);
    FailUsage("unknown command '" + ToUtf8(args.Command()) + "' (try: kelvodrive help)");
}

// Runs one command; a failure is reported on standard error, or in the
// output stream when serving.
int Execute(int argc, wchar_t** argv, bool serving)
{
    std::string message;
    int code = kExitFailed;
    try {
        Args args(argc, argv);
        if (serving && args.Command() == L"serve")
            FailUsage("already serving");
        return Dispatch(args);
    } catch (const Failure& failure) {
        message = failure.what();
        code = failure.Code();
    } catch (const std::exception& error) {
        message = error.what();
    }
    if (serving)
        OutputLine().Text("error", FromUtf8(message)).Print();
    else
        std::fprintf(stderr, "kelvodrive: %s\n", message.c_str());
    return code;
}

bool ReadLine(std::string& line)
{
    line.clear();
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        line += buffer;
        if (!line.empty() && line.back() == '\n')
            break;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return !line.empty() || (!std::feof(stdin) && !std::ferror(stdin));
}

int Serve()
{
    std::string line;
    while (ReadLine(line)) {
        if (line.empty())
            continue;
        // The program name in front, so that the line splits as argv would.
        std::wstring commandLine = L"kelvodrive " + FromUtf8(line);
        int argc = 0;
        wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
        int code = argv ? Execute(argc, argv, true) : kExitUsage;
        if (argv)
            LocalFree(argv);
        OutputLine().Number("end", code).Print();
    }
    return kExitOk;
}

}  // namespace

int main()
{
    PrepareOutput();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) {
        std::fputs("kelvodrive: cannot read the command line\n", stderr);
        return kExitFailed;
    }
    int code = argc == 2 && std::wcscmp(argv[1], L"serve") == 0 ? Serve() : Execute(argc, argv, false);
    LocalFree(argv);
    return code;
}
