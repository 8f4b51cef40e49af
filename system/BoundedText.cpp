#include "BoundedText.h"

#include <cstring>

namespace text {

std::string Hex8(uint32_t number)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string digits(8, '0');
    for (size_t i = 8; i-- > 0; number >>= 4)
        digits[i] = kDigits[number & 0xF];
    return digits;
}

size_t CopyBounded(char* dest, size_t size, const char* source, size_t max)
{
    if (size == 0)
        return 0;
    size_t n = 0;
    while (n < max && n + 1 < size && source[n] != '\0')
        ++n;
    std::memcpy(dest, source, n);
    dest[n] = '\0';
    return n;
}

bool JoinWhole(char* dest, size_t size, std::initializer_list<const char*> pieces)
{
    if (size == 0)
        return false;
    size_t length = 0;
    for (const char* piece : pieces) {
        const size_t n = piece != nullptr ? std::strlen(piece) : 0;
        if (n >= size - length) {
            dest[0] = '\0';
            return false;
        }
        if (n > 0)
            std::memcpy(dest + length, piece, n);
        length += n;
    }
    dest[length] = '\0';
    return true;
}

}  // namespace text
