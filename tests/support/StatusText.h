// A Status as the pair of success and reason that the tests print: whether
// it succeeded, its text into *text.
#pragma once

#include "Status.h"

#include <string>

inline bool Succeeded(const Status& status, std::string* text)
{
    *text = status.Text();
    return status.Ok();
}
