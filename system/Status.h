// What an operation that can fail hands back to its caller: success, a
// cancellation asked for by the user, or a failure with the message that
// the caller may show (text, caption and message-box style). Library code
// returns a Status; only the program's top decides to show it and end.
#pragma once

#include "Report.h"

#include <string>
#include <utility>

class Status {
public:
    // Success.
    Status() = default;

    static Status Failure(std::string text, std::string caption,
                          unsigned style = kMbOk | kMbIconHand)
    {
        Status status;
        status.kind_ = Kind::kFailed;
        status.text_ = std::move(text);
        status.caption_ = std::move(caption);
        status.style_ = style;
        return status;
    }
    static Status Canceled()
    {
        Status status;
        status.kind_ = Kind::kCanceled;
        return status;
    }

    bool Ok() const { return kind_ == Kind::kOk; }
    bool IsCanceled() const { return kind_ == Kind::kCanceled; }
    explicit operator bool() const { return Ok(); }

    const std::string& Text() const { return text_; }
    const std::string& Caption() const { return caption_; }
    unsigned Style() const { return style_; }

private:
    enum class Kind { kOk, kCanceled, kFailed };

    Kind kind_ = Kind::kOk;
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
