#include "TGdiBase.h"

#include <utility>

TGdiBase::TGdiBase(HGDIOBJ handle, bool owned) : handle_(handle), owned_(owned)
{
}

TGdiBase::~TGdiBase()
{
    if (owned_ && handle_ != nullptr)
        DeleteObject(handle_);
}

TGdiBase::TGdiBase(TGdiBase&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), owned_(std::exchange(other.owned_, false))
{
}

TGdiBase& TGdiBase::operator=(TGdiBase&& other) noexcept
{
    if (this != &other) {
        if (owned_ && handle_ != nullptr)
            DeleteObject(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}
