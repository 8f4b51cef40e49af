// A deliberately plain transcription of the LZSS coder: one set of state for
// the whole process, a byte at a time, no cleverness. The tests hold the
// fast codec to it byte for byte, and the benchmark measures against it.
#pragma once

#include <cstdint>
#include <vector>

namespace reference {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& input);
std::vector<uint8_t> Decode(const std::vector<uint8_t>& input);

}  // namespace reference
