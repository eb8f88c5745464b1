/*
 * The process's clock: the time scale tests may set (WINPORT_TIME_SCALE) and
 * the conversions every wait, timer and sleep goes through.
 */
#include "kernel/clock.h"

#include <cstdlib>
#include <ctime>

namespace winport {

uint32_t TimeScale()
{
    static const uint32_t scale = [] {
        const char *s = std::getenv("WINPORT_TIME_SCALE");
        if (!s || !*s)
            return 1u;
        char *end = nullptr;
        unsigned long v = std::strtoul(s, &end, 10);
        if (*end != '\0' || v < 1 || v > 100000)
            return 1u;
        return static_cast<uint32_t>(v);
    }();
    return scale;
}

uint64_t RealMs(uint64_t ms)
{
    if (ms == 0)
        return 0;
    uint64_t real = ms / TimeScale();
    return real ? real : 1;
}

uint64_t RealNs(uint64_t ms)
{
    if (ms == 0)
        return 0;
    uint64_t ns = ms * 1000000ull / TimeScale();
    return ns ? ns : 1;
}

uint64_t NominalTickMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_BOOTTIME, &ts); // counts suspend, like Windows' tick count
    uint64_t realMs =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return realMs * TimeScale();
}

} // namespace winport
