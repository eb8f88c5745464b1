/*
 * Fuzz target for the receiving side of payload protection: the first byte
 * is the mode byte of the frame, the rest its body.  UnprotectPayload must
 * refuse or decrypt anything without reading or writing outside the body.
 */
#include "kellib/protect.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Frame bodies are int-sized; libFuzzer never comes near this anyway.
constexpr int KEL_MAX_FUZZ_LENGTH = 1 << 24;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size - 1 > static_cast<size_t>(KEL_MAX_FUZZ_LENGTH))
        return 0;
    const int mode = static_cast<signed char>(data[0]);
    const size_t length = size - 1;
    // An exact-size heap copy, so any overrun hits the sanitizer's redzone.
    char *body = static_cast<char *>(std::malloc(length > 0 ? length : 1));
    if (body == nullptr)
        return 0;
    if (length > 0)
        std::memcpy(body, data + 1, length);
    int wire_length = static_cast<int>(length);
    const int result = UnprotectPayload(body, &wire_length, mode);
    if (result != 0 && result != -1)
        std::abort();
    // A passed check only ever shortens the body.
    if (wire_length < 0 || static_cast<size_t>(wire_length) > length)
        std::abort();
    std::free(body);
    return 0;
}
