// An open C stdio stream, owned: closed when the object goes. Offsets are
// 64-bit, so that files over 4 GiB are read and measured correctly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class File {
public:
    File() = default;
    // Opens `path` (a Windows path, see Platform.h) with a C stdio mode.
    File(const char* path, const char* mode);
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return stream_ != nullptr; }
    // Closes now; false if buffered data could not be written.
    bool Close();
    // Hands what is buffered to the system; false on a write error.
    bool Flush();

    size_t Read(void* buffer, size_t size);
    bool Write(const void* data, size_t size);
    bool Write(const char* text);
    int GetChar();  // EOF at the end or on error
    bool Seek(int64_t offset, int whence);
    // Exactly `size` bytes from `offset`; false if the file holds fewer.
    bool ReadAt(uint64_t offset, void* buffer, size_t size);
    int64_t Tell();
    int64_t Size();       // restores the position; -1 on error
    bool Failed() const;  // a read or write error occurred
    // Appends `length` bytes of `source` from `offset` at this file's
    // position (the source's own position is left undefined). False when the
    // source holds fewer or a write fails. On Linux the system copies them
    // between the files, without bringing them through this process.
    bool CopyFrom(File& source, uint64_t offset, uint64_t length);
    // Reads and writes go straight to the system, for a file read in one
    // piece: no buffer to fill and copy from.
    bool Unbuffer();
    // The modification time in seconds since 1970; false if it cannot be told.
    bool Modified(int64_t* seconds);
    bool AtEnd() const;

    // Appends the rest of the file to `out` (a std::string or a byte
    // vector). False on a read error, or when `out` would hold more than
    // `max` bytes.
    template <class Buffer>
    bool ReadRest(Buffer* out, size_t max = SIZE_MAX)
    {
        unsigned char block[16384];
        for (size_t n; (n = Read(block, sizeof block)) > 0;) {
            if (out->size() > max || n > max - out->size())
                return false;
            out->insert(out->end(), block, block + n);
        }
        return !Failed();
    }

private:
    FILE* stream_ = nullptr;
};
