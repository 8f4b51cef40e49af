// The ownership of a drawing object's handle. An owning object deletes its
// handle when it goes; a wrap of a stock object never does. Objects are
// move-only, so that exactly one owner exists for each handle.
#pragma once

#include <windows.h>

#include <exception>

class TGdiBase {
public:
    // Thrown when the platform cannot make a drawing object, or a bitmap
    // file cannot be read.
    class TXGdi : public std::exception {
    public:
        explicit TXGdi(const char* what) : what_(what) {}
        const char* what() const noexcept override { return what_; }

    private:
        const char* what_;
    };

    TGdiBase(const TGdiBase&) = delete;
    TGdiBase& operator=(const TGdiBase&) = delete;
    TGdiBase(TGdiBase&& other) noexcept;
    TGdiBase& operator=(TGdiBase&& other) noexcept;

    HGDIOBJ GetHandle() const { return handle_; }
    bool IsOwner() const { return owned_; }

protected:
    // Takes the handle; a null handle throws TXGdi with `failure`.
    TGdiBase(HGDIOBJ handle, bool owned, const char* failure);
    ~TGdiBase();

private:
    HGDIOBJ handle_;
    bool owned_;
};
