// The ownership of a drawing object's handle. An owning object deletes its
// handle when it goes; a wrap of a stock object never does. Objects are
// move-only, so that exactly one owner exists for each handle. When the
// platform cannot make the object, it holds no handle: drawing with it does
// nothing, and whoever needs the object asks IsValid.
#pragma once

#include <windows.h>

class TGdiBase {
public:
    TGdiBase(const TGdiBase&) = delete;
    TGdiBase& operator=(const TGdiBase&) = delete;
    TGdiBase(TGdiBase&& other) noexcept;
    TGdiBase& operator=(TGdiBase&& other) noexcept;

    HGDIOBJ GetHandle() const { return handle_; }
    bool IsOwner() const { return owned_; }
    bool IsValid() const { return handle_ != nullptr; }

protected:
    // Takes the handle, null when the platform could not make the object.
    TGdiBase(HGDIOBJ handle, bool owned);
    ~TGdiBase();

private:
    HGDIOBJ handle_;
    bool owned_;
};
