/*
 * File-to-file zlib: compressing a file before it goes to the server
 * (KelZipPlus), inflating a received ".zz" file (KelUnZipPlus), and the
 * patient file move that waits for another process to let go of a file
 * (KELMoveFileEx).
 *
 * Files go through CreateFileA/ReadFile/WriteFile so Windows paths keep
 * their meaning.  A destination that could not be written completely is
 * deleted: a half-written file must never look like a finished one.
 */
#include "kellib/compress.h"
#include "kellib/wire.h"

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>
#include <zlib.h>

#include <cstdlib>
#include <string>

namespace {

/* Closes a file handle when it goes out of scope. */
class WinFile {
public:
    explicit WinFile(HANDLE h) : h_(h) {}
    ~WinFile() { Close(); }
    WinFile(const WinFile &) = delete;
    WinFile &operator=(const WinFile &) = delete;

    bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE Get() const { return h_; }
    void Close()
    {
        if (IsOpen())
            CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

/* Frees a C-heap block when it goes out of scope. */
struct HeapBlock {
    explicit HeapBlock(size_t n) : p(static_cast<char *>(malloc(n))) {}
    ~HeapBlock() { free(p); }
    HeapBlock(const HeapBlock &) = delete;
    HeapBlock &operator=(const HeapBlock &) = delete;
    char *p;
};

HANDLE OpenForReading(LPCSTR path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForWriting(LPCSTR path)
{
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool WriteAll(HANDLE file, const char *data, size_t n)
{
    while (n > 0) {
        DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        n -= written;
    }
    return true;
}

/* Reads until `capacity` bytes are in or the file ends. */
bool ReadUpTo(HANDLE file, char *data, size_t capacity, size_t *got)
{
    *got = 0;
    while (*got < capacity) {
        size_t left = capacity - *got;
        DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!ReadFile(file, data + *got, chunk, &n, nullptr))
            return false;
        if (n == 0)
            break;
        *got += n;
    }
    return true;
}

void ShowBox(bool quiet, const std::string &text, const char *title)
{
    if (!quiet)
        MessageBoxA(nullptr, text.c_str(), title, MB_OK);
}

/* Deflates `n` bytes into the file through `out` (capacity outCap); the
 * output block is written out each time it fills, so an incompressible
 * file whose stream outgrows it is still written whole. */
bool DeflateToFile(const char *data, size_t n, char *out, size_t outCap, HANDLE file)
{
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    zs.avail_in = static_cast<uInt>(n);
    bool ok = true;
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef *>(out);
        zs.avail_out = static_cast<uInt>(outCap);
        int rc = deflate(&zs, Z_FINISH);
        size_t produced = outCap - zs.avail_out;
        bool stuck = rc == Z_BUF_ERROR && produced == 0;
        if ((rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) || stuck ||
            (produced > 0 && !WriteAll(file, out, produced))) {
            ok = false;
            break;
        }
        if (rc == Z_STREAM_END)
            break;
    }
    deflateEnd(&zs);
    return ok;
}

/* The body of KelZipPlus once both files are open: the whole source in one
 * block, one stream out. */
bool CompressFile(HANDLE in, HANDLE out, bool quiet)
{
    DWORD high = 0;
    DWORD size = GetFileSize(in, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    constexpr const char *kNoMemory = "UNABLE TO ALLOCATE ENOUGH MEMORY FOR COMPRESSION";
    if (high != 0 || size > static_cast<DWORD>(KEL_MAX_WIRE_LENGTH)) {
        ShowBox(quiet, kNoMemory, "ERROR");
        return false;
    }
    size_t blockSize = static_cast<size_t>(size) + 1000;
    HeapBlock input(blockSize);
    HeapBlock output(blockSize);
    if (input.p == nullptr || output.p == nullptr) {
        ShowBox(quiet, kNoMemory, "ERROR");
        return false;
    }
    size_t got = 0;
    if (!ReadUpTo(in, input.p, blockSize, &got))
        return false;
    /* An empty source gives an empty destination, as it always has. */
    return got == 0 || DeflateToFile(input.p, got, output.p, blockSize, out);
}

/* Feeds one block read from the source through inflate, writing every
 * 1024 bytes produced.  Sets *ended at the end of the stream; fails once
 * the output would pass limit. */
bool InflateBlockToFile(z_stream *zs, HANDLE out, bool *ended, ULONGLONG *written, ULONGLONG limit)
{
    char produced[1024];
    do {
        zs->next_out = reinterpret_cast<Bytef *>(produced);
        zs->avail_out = sizeof produced;
        uInt inBefore = zs->avail_in;
        int rc = inflate(zs, Z_PARTIAL_FLUSH);
        size_t n = sizeof produced - zs->avail_out;
        if (n > limit - *written)
            return false;
        if (n > 0 && !WriteAll(out, produced, n))
            return false;
        *written += n;
        if (rc == Z_STREAM_END) {
            *ended = true;
            return true;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            return false;
        if (n == 0 && zs->avail_in == inBefore)
            break; /* no progress: this block is used up */
    } while (zs->avail_in > 0 || zs->avail_out == 0);
    return true;
}

/* The body of KelUnZipPlus once both files are open. */
bool InflateFile(HANDLE in, HANDLE out, ULONGLONG *written, ULONGLONG limit)
{
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return false;
    char block[1024];
    bool ended = false;
    bool ok = true;
    while (ok && !ended) {
        DWORD n = 0;
        if (!ReadFile(in, block, sizeof block, &n, nullptr)) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        zs.next_in = reinterpret_cast<Bytef *>(block);
        zs.avail_in = n;
        ok = InflateBlockToFile(&zs, out, &ended, written, limit);
    }
    inflateEnd(&zs);
    /* A stream cut short is as broken as a corrupt one. */
    return ok && ended;
}

} // namespace

int KelZipPlus(LPCSTR source, LPCSTR destination, int flags)
{
    bool quiet = (flags & KELZIP_QUIET) != 0;
    WinFile in(OpenForReading(source));
    if (!in.IsOpen()) {
        ShowBox(quiet, std::string("Unable To Open ") + (source ? source : "") + " for Compression",
                "Error!");
        return 0;
    }
    WinFile out(OpenForWriting(destination));
    if (!out.IsOpen())
        return 0;
    bool ok = CompressFile(in.Get(), out.Get(), quiet);
    out.Close();
    in.Close();
    if (!ok) {
        DeleteFileA(destination);
        return 0;
    }
    return -1;
}

int KelUnZipPlus(LPCSTR source, LPCSTR destination)
{
    return KelUnZipPlusLimit(source, destination, ~0ULL);
}

int KelUnZipPlusLimit(LPCSTR source, LPCSTR destination, ULONGLONG limit)
{
    WinFile in(OpenForReading(source));
    if (!in.IsOpen()) {
        MessageBoxA(nullptr,
                    (std::string("Unable to Open ") + (source ? source : "") + " for Uncompression")
                        .c_str(),
                    "Error!", MB_OK);
        return 0;
    }
    WinFile out(OpenForWriting(destination));
    if (!out.IsOpen())
        return 0;
    ULONGLONG written = 0;
    bool ok = InflateFile(in.Get(), out.Get(), &written, limit);
    out.Close();
    in.Close();
    if (!ok || written == 0) {
        DeleteFileA(destination);
        return 0;
    }
    return -1;
}

BOOL KELMoveFileEx(LPCSTR source, LPCSTR target, DWORD flags)
{
    constexpr int kAttempts = 61;
    BOOL moved = FALSE;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        moved = MoveFileExA(source, target, flags);
        if (moved)
            break;
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return FALSE;
        /* No point waiting after the last attempt. */
        if (attempt + 1 < kAttempts)
            Sleep(500);
    }
    return moved;
}
