// What an operation that can fail hands back to its caller: success, a
// cancellation asked for by the user, or a failure of some kind with the
// message that the caller may show (text, caption and message-box style).
// Library code returns a Status; only the program's top decides to show it
// and end. Callers that must tell failures apart ask the kind, never the
// text.
#pragma once

#include "Report.h"

#include <string>
#include <utility>

// What failed.
enum class Fault {
    kNone,          // success
    kCanceled,      // the user asked to stop
    kRefused,       // a rule refuses the input: a name, a folder, an argument, a page that will not close
    kUnreadable,    // an input is missing or cannot be read
    kDamaged,       // a package or a data file holds what it cannot
    kCannotCreate,  // a file or folder cannot be created
    kCannotWrite,   // a file was opened but could not be written completely
    kPlatform,      // a service of the system failed (DDE, the registry, a process)
};

class Status {
public:
    // Success.
    Status() = default;

    static Status Failure(Fault fault, std::string text, std::string caption, unsigned style = kMbOk | kMbIconHand)
    {
        Status status;
        status.fault_ = fault;
        status.text_ = std::move(text);
        status.caption_ = std::move(caption);
        status.style_ = style;
        return status;
    }
    static Status Canceled()
    {
        Status status;
        status.fault_ = Fault::kCanceled;
        return status;
    }
    // The same failure told in other words.
    Status Reworded(std::string text) const { return Failure(fault_, std::move(text), caption_, style_); }

    bool Ok() const { return fault_ == Fault::kNone; }
    bool IsCanceled() const { return fault_ == Fault::kCanceled; }
    Fault What() const { return fault_; }
    explicit operator bool() const { return Ok(); }

    const std::string& Text() const { return text_; }
    const std::string& Caption() const { return caption_; }
    unsigned Style() const { return style_; }

private:
    Fault fault_ = Fault::kNone;
    std::string text_;
    std::string caption_;
    unsigned style_ = kMbOk;
};

// Shows a failure's message; nothing for success or a cancellation.
inline void ShowMessage(const Status& status)
{
    if (!status.Ok() && !status.IsCanceled())
        ShowMessage(status.Text().c_str(), status.Caption().c_str(), status.Style());
}

// Shows a failure's message, then ends the process with kFatalExitCode.
[[noreturn]] inline void FatalMessage(const Status& status)
{
    FatalMessage(status.Text().c_str(), status.Caption().c_str(), status.Style());
}
