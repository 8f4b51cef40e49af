#include "File.h"

#include "Platform.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

#ifdef __linux__
#include <unistd.h>
#endif

File::File(const char* path, const char* mode) : stream_(platform::OpenFile(path, mode))
{
}

File::~File()
{
    Close();
}

File::File(File&& other) noexcept : stream_(std::exchange(other.stream_, nullptr))
{
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        Close();
        stream_ = std::exchange(other.stream_, nullptr);
    }
    return *this;
}

bool File::Close()
{
    if (stream_ == nullptr)
        return true;
    const bool ok = std::ferror(stream_) == 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return ok && closed;
}

bool File::Flush()
{
    return stream_ != nullptr && std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
}

size_t File::Read(void* buffer, size_t size)
{
    return std::fread(buffer, 1, size, stream_);
}

bool File::Write(const void* data, size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, stream_) == size;
}

bool File::Write(const char* text)
{
    return Write(text, std::strlen(text));
}

int File::GetChar()
{
    return std::getc(stream_);
}

bool File::Seek(int64_t offset, int whence)
{
#ifdef _WIN32
    return _fseeki64(stream_, offset, whence) == 0;
#else
    return fseeko(stream_, static_cast<off_t>(offset), whence) == 0;
#endif
}

bool File::ReadAt(uint64_t offset, void* buffer, size_t size)
{
    return Seek(static_cast<int64_t>(offset), SEEK_SET) && Read(buffer, size) == size;
}

int64_t File::Tell()
{
#ifdef _WIN32
    return _ftelli64(stream_);
#else
    return static_cast<int64_t>(ftello(stream_));
#endif
}

int64_t File::Size()
{
    const int64_t here = Tell();
    if (here < 0 || !Seek(0, SEEK_END))
        return -1;
    const int64_t size = Tell();
    if (!Seek(here, SEEK_SET))
        return -1;
    return size;
}

bool File::Failed() const
{
    return stream_ == nullptr || std::ferror(stream_) != 0;
}

bool File::CopyFrom(File& source, uint64_t offset, uint64_t length)
{
    if (stream_ == nullptr || source.stream_ == nullptr)
        return false;
#ifdef __linux__
    // The system's copy, where the file systems allow it; what it could not
    // copy is copied below.
    if (!Flush())
        return false;
    const int64_t at = Tell();
    if (at < 0)
        return false;
    off_t from = static_cast<off_t>(offset);
    off_t to = static_cast<off_t>(at);
    while (length > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(length, uint64_t(1) << 30));
        const ssize_t n = copy_file_range(fileno(source.stream_), &from, fileno(stream_), &to, want, 0);
        if (n <= 0)
            break;  // not supported between these files, or the source ended
        length -= static_cast<uint64_t>(n);
    }
    offset = static_cast<uint64_t>(from);
    if (!Seek(static_cast<int64_t>(to), SEEK_SET))
        return false;
#endif
    if (length == 0)
        return true;
    if (!source.Seek(static_cast<int64_t>(offset), SEEK_SET))
        return false;
    std::vector<unsigned char> block(static_cast<size_t>(std::min<uint64_t>(length, uint64_t(1) << 20)));
    while (length > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(length, block.size()));
        if (source.Read(block.data(), want) != want || !Write(block.data(), want))
            return false;
        length -= want;
    }
    return true;
}

bool File::Unbuffer()
{
    return stream_ != nullptr && std::setvbuf(stream_, nullptr, _IONBF, 0) == 0;
}

bool File::Modified(int64_t* seconds)
{
    if (stream_ == nullptr)
        return false;
#ifdef _WIN32
    struct _stat64 st {};
    if (_fstat64(_fileno(stream_), &st) != 0)
        return false;
#else
    struct stat st {};
    if (fstat(fileno(stream_), &st) != 0)
        return false;
#endif
    *seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

bool File::AtEnd() const
{
    return stream_ != nullptr && std::feof(stream_) != 0;
}
