// CRC-32 (the polynomial of zip and PNG, reflected, 0xEDB88320) over memory,
// sixteen bytes a step: what the setup's integrity check sums its package
// with, fast enough to cost less than reading the file.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC of `size` bytes continuing from `crc` (0 to start): Crc32(b, n2,
// Crc32(a, n1)) is the CRC of a followed by b.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
