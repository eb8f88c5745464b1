/*
 * Fuzz target for version records: the input is a file a peer may have
 * sent (a received print client), read as GetFileVersionInfoA reads it,
 * then queried as VerQueryValueA would.  Reading must stay inside the
 * file and inside the record; a value found must lie inside the record.
 */
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "version/version_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace winport::version;
    auto readAt = [&](uint64_t offset, size_t n, void *out) {
        if (offset > size || n > size - offset)
            return false;
        memcpy(out, data + offset, n);
        return true;
    };
    std::vector<uint8_t> record;
    /* As an image, and as a bare record (the bytes GetFileVersionInfoA gives). */
    if (FindRecordInElf(readAt, size, &record) != 1)
        record.assign(data, data + std::min<size_t>(size, kMaxRecord));
    if (record.size() > kMaxRecord)
        abort();
    for (const char *path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo",
                             "\\StringFileInfo\\040904b0\\FileVersion", "\\\\x\\\\y\\z"}) {
        Found found;
        if (FindValue(record.data(), record.size(), path, &found) &&
            (found.valueOffset > record.size() ||
             found.valueLength > record.size() - found.valueOffset))
            abort();
    }
    return 0;
}
