/*
 * Throughput of the payload protection primitives and modes: SHA-256 and
 * AES-128-CTR on the portable code, on the instruction-set extensions and
 * in Crypto++; Blowfish CFB-64; and a whole mode 8 seal and open at the
 * message sizes the system sends.  Every benchmark reports bytes/second.
 */
#include "aes128.h"
#include "blowfish.h"
#include "cpu.h"
#include "sha256.h"

#include "kellib/protect.h"

#include <benchmark/benchmark.h>
#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <cstring>
#include <vector>

namespace {

using kel::crypto::PortableScope;

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * kKiB;

std::vector<uint8_t> filled(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 131 + 7);
    return v;
}

void set_bytes(benchmark::State &state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

/* Skips the accelerated variants on a processor without the extension. */
bool available(benchmark::State &state, bool portable, bool has_extension)
{
    if (!portable && !has_extension) {
        state.SkipWithError("processor lacks the extension");
        return false;
    }
    return true;
}

template <bool Portable> void BM_Sha256(benchmark::State &state)
{
    if (!available(state, Portable, kel::crypto::cpu_has_sha_ni()))
        return;
    PortableScope scope(Portable);
    const auto data = filled(size_t(state.range(0)));
    uint8_t out[32];
    for (auto _ : state) {
        kel::crypto::sha256_digest(data.data(), data.size(), out);
        benchmark::DoNotOptimize(out);
    }
    set_bytes(state);
}

void BM_Sha256_CryptoPP(benchmark::State &state)
{
    const auto data = filled(size_t(state.range(0)));
    uint8_t out[32];
    CryptoPP::SHA256 sha;
    for (auto _ : state) {
        sha.CalculateDigest(out, data.data(), data.size());
        benchmark::DoNotOptimize(out);
    }
    set_bytes(state);
}

template <bool Portable> void BM_AesCtr(benchmark::State &state)
{
    if (!available(state, Portable, kel::crypto::cpu_has_aes_ni()))
        return;
    PortableScope scope(Portable);
    auto data = filled(size_t(state.range(0)));
    const auto user = filled(16);
    kel::crypto::Aes128Key key;
    kel::crypto::aes128_expand_key(key, user.data());
    for (auto _ : state) {
        uint8_t counter[16] = {};
        kel::crypto::aes128_ctr_xor(key, counter, data.data(), data.size());
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}

void BM_AesCtr_CryptoPP(benchmark::State &state)
{
    auto data = filled(size_t(state.range(0)));
    const auto user = filled(16);
    const uint8_t iv[16] = {};
    CryptoPP::CTR_Mode<CryptoPP::AES>::Encryption enc(user.data(), user.size(), iv);
    for (auto _ : state) {
        enc.Resynchronize(iv);
        enc.ProcessData(data.data(), data.data(), data.size());
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}

void BM_BlowfishCfb(benchmark::State &state)
{
    auto data = filled(size_t(state.range(0)));
    const auto user = filled(8);
    kel::crypto::BlowfishKey key;
    kel::crypto::blowfish_set_key(key, user.data(), user.size());
    for (auto _ : state) {
        kel::crypto::BlowfishCfb cfb;
        kel::crypto::blowfish_cfb_init(cfb);
        kel::crypto::blowfish_cfb_encrypt(key, cfb, data.data(), data.size());
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}

void BM_ProtectSealed(benchmark::State &state)
{
    const auto payload = filled(size_t(state.range(0)));
    std::vector<uint8_t> wire(payload.size() + KEL_SEALED_TRAILER);
    for (auto _ : state) {
        std::memcpy(wire.data(), payload.data(), payload.size());
        ProtectPayload(reinterpret_cast<char *>(wire.data()), int(payload.size()), KEL_MODE_SEALED);
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}

void BM_UnprotectSealed(benchmark::State &state)
{
    const auto payload = filled(size_t(state.range(0)));
    std::vector<uint8_t> sealed(payload.size() + KEL_SEALED_TRAILER);
    std::memcpy(sealed.data(), payload.data(), payload.size());
    ProtectPayload(reinterpret_cast<char *>(sealed.data()), int(payload.size()), KEL_MODE_SEALED);
    std::vector<uint8_t> wire(sealed.size());
    for (auto _ : state) {
        std::memcpy(wire.data(), sealed.data(), sealed.size());
        int length = int(wire.size());
        if (UnprotectPayload(reinterpret_cast<char *>(wire.data()), &length, KEL_MODE_SEALED) != 0)
            state.SkipWithError("integrity check failed");
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}

void primitive_sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(1 * kKiB)->Arg(64 * kKiB)->Arg(1 * kMiB);
}

} // namespace

BENCHMARK(BM_Sha256<true>)->Name("Sha256/portable")->Apply(primitive_sizes);
BENCHMARK(BM_Sha256<false>)->Name("Sha256/sha_ni")->Apply(primitive_sizes);
BENCHMARK(BM_Sha256_CryptoPP)->Name("Sha256/cryptopp")->Apply(primitive_sizes);
BENCHMARK(BM_AesCtr<true>)->Name("AesCtr/portable")->Apply(primitive_sizes);
BENCHMARK(BM_AesCtr<false>)->Name("AesCtr/aes_ni")->Apply(primitive_sizes);
BENCHMARK(BM_AesCtr_CryptoPP)->Name("AesCtr/cryptopp")->Apply(primitive_sizes);
BENCHMARK(BM_BlowfishCfb)->Name("BlowfishCfb")->Apply(primitive_sizes);
BENCHMARK(BM_ProtectSealed)->Name("ProtectPayload/mode8")->Apply(primitive_sizes);
BENCHMARK(BM_UnprotectSealed)->Name("UnprotectPayload/mode8")->Apply(primitive_sizes);

BENCHMARK_MAIN();
