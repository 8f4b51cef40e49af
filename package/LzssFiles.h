// Whole files through the codec, streamed a megabyte at a time: the loop
// shared by THuf and the builder's raw compress and decompress commands.
#pragma once

class File;
class LzssEncoder;

// Compresses the rest of `in` into `out` with `encoder` (fresh, or Reset; its
// progress callback and counters are the caller's). False when a read or a
// write failed.
bool CompressFile(File& in, File& out, LzssEncoder& encoder);

// Decompresses the rest of `in` into `out`. False when a read or a write failed.
bool DecompressFile(File& in, File& out);
