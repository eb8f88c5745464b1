/*
 * Helpers shared by the cipher tests: hex conversion, reproducible random
 * bytes, and the parameter that runs a test on the portable code and on the
 * instruction-set extensions in turn.
 */
#ifndef KELLIB_TESTS_CRYPTO_TEST_UTIL_H
#define KELLIB_TESTS_CRYPTO_TEST_UTIL_H

#include "cpu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace kel::crypto::test {

using Bytes = std::vector<uint8_t>;

inline Bytes from_hex(const std::string &hex)
{
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string to_hex(const uint8_t *data, size_t length)
{
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < length; ++i) {
        s += kHex[data[i] >> 4];
        s += kHex[data[i] & 15];
    }
    return s;
}

inline std::string to_hex(const Bytes &b)
{
    return to_hex(b.data(), b.size());
}

/* Fixed seeds: a failure reproduces on the next run. */
inline Bytes random_bytes(std::mt19937 &rng, size_t length)
{
    Bytes b(length);
    for (auto &x : b)
        x = uint8_t(rng());
    return b;
}

enum class Path { Portable, Accelerated };

inline void PrintTo(Path path, std::ostream *os)
{
    *os << (path == Path::Portable ? "portable" : "accelerated");
}

inline std::string path_name(const ::testing::TestParamInfo<Path> &info)
{
    return info.param == Path::Portable ? "Portable" : "Accelerated";
}

/* Runs each test once per code path; the accelerated run is skipped on a
 * processor without the extension. */
class BothPaths : public ::testing::TestWithParam<Path> {
protected:
    void pin(bool available)
    {
        if (GetParam() == Path::Accelerated && !available)
            GTEST_SKIP() << "processor lacks the extension";
        set_force_portable(GetParam() == Path::Portable);
    }
    void TearDown() override { set_force_portable(false); }
};

} // namespace kel::crypto::test

#endif /* KELLIB_TESTS_CRYPTO_TEST_UTIL_H */
