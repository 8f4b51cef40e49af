// Whole files through the codec, streamed a megabyte at a time: the loop
// shared by THuf and the builder's raw compress and decompress commands.
#pragma once

class File;
class LzssEncoder;
class ProgressHook;

// Compresses the rest of `in` into `out` with `encoder` (fresh, or Reset; its
// progress callback and counters are the caller's). False when a read or a
// write failed.
bool CompressFile(File& in, File& out, LzssEncoder& encoder);

// Decompresses the rest of `in` into `out`, telling the hook (if any) the
// bytes written after every block. False when a read or a write failed or
// the hook asked to stop (*canceled then true).
bool DecompressFile(File& in, File& out, ProgressHook* hook = nullptr, bool* canceled = nullptr);
