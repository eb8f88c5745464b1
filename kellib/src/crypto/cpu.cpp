/*
 * Processor feature probing for the accelerated cipher paths.
 *
 * cpuid is read directly rather than through __builtin_cpu_supports: clang
 * (used by the fuzzing build) does not know the "sha" feature name, and the
 * raw bits mean the same thing to every compiler.
 */
#include "cpu.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace kel::crypto {
namespace {

struct Features {
    bool sha_ni = false;
    bool aes_ni = false;
};

Features probe()
{
    Features f;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return f;
    // Both accelerated files also use SSSE3 byte shuffles and SSE4.1.
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    const bool aes = (ecx & (1u << 25)) != 0;
    f.aes_ni = aes && ssse3 && sse41;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        const bool sha = (ebx & (1u << 29)) != 0;
        f.sha_ni = sha && ssse3 && sse41;
    }
#endif
    return f;
}

const Features &features()
{
    static const Features f = probe();
    return f;
}

std::atomic<bool> g_force_portable{false};

} // namespace

bool cpu_has_sha_ni()
{
    return features().sha_ni;
}
bool cpu_has_aes_ni()
{
    return features().aes_ni;
}

void set_force_portable(bool on)
{
    g_force_portable.store(on, std::memory_order_relaxed);
}
bool force_portable()
{
    return g_force_portable.load(std::memory_order_relaxed);
}

bool use_sha_ni()
{
    return cpu_has_sha_ni() && !force_portable();
}
bool use_aes_ni()
{
    return cpu_has_aes_ni() && !force_portable();
}

} // namespace kel::crypto
