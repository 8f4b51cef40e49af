// The one place where the system tells the user about a failure or a notice.
// On Windows it is a message box without an owner window; elsewhere the text
// goes to standard error, so that the portable code can be tested natively.
#pragma once

// Message box styles, with the values the platform gives them.
enum MessageStyle : unsigned {
    kMbOk = 0x00000000u,
    kMbYesNo = 0x00000004u,
    kMbIconHand = 0x00000010u,
    kMbIconAsterisk = 0x00000040u,
};

// Exit code of every fatal message: a failure must never look like success.
constexpr int kFatalExitCode = 1;

// From now on (for the rest of the process) messages are written as lines
// on the console the program was started from, if it has one, and never
// shown in a window: for unattended runs. Elsewhere they always are lines.
void SendMessagesToConsole();

// Shows the message and returns once the user has closed it.
void ShowMessage(const char* text, const char* caption, unsigned style);

// Shows the message, then ends the process with kFatalExitCode.
[[noreturn]] void FatalMessage(const char* text, const char* caption, unsigned style = kMbOk | kMbIconHand);
