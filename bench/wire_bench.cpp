/*
 * The wire layer end to end: SendMessageWithSize on one thread, KELrecv on
 * another, over a loopback TCP connection, for the payload sizes and modes
 * the system uses, beside the raw cost of each part measured in the same run
 * (deflate, inflate, AES-128-CTR, SHA-256, a plain socket copy).
 *
 * The parts a mode-8 compressed message costs: deflate and inflate of the
 * payload, AES-CTR of the compressed bytes twice (seal and open), SHA-256 of
 * the compressed bytes twice (tag made and checked), and the socket copy of
 * the compressed bytes.  docs/performance.md sets the end-to-end figure
 * beside the sum of those parts.
 */
#include <kellib.h>

#include <benchmark/benchmark.h>
#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <zlib.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

/* A clinic report page: columns of dates, codes and amounts, repeated with
 * changing numbers, compresses about as real reports do. */
std::vector<char> ReportBytes(size_t n)
{
    std::vector<char> out;
    out.reserve(n + 128);
    char line[128];
    unsigned i = 0;
    while (out.size() < n) {
        int len =
            snprintf(line, sizeof line,
                     "%05u  12/%02u/2026  99%03u  OFFICE VISIT, EST. PATIENT   %7u.%02u  PAID\r\n",
                     i, 1 + i % 28, i % 1000, 40 + i * 7 % 300, i % 100);
        out.insert(out.end(), line, line + len);
        ++i;
    }
    out.resize(n);
    return out;
}

std::vector<char> RandomBytes(size_t n)
{
    std::vector<char> out(n);
    std::mt19937_64 rng(42);
    for (size_t i = 0; i < n; i += 8) {
        uint64_t v = rng();
        memcpy(out.data() + i, &v, std::min<size_t>(8, n - i));
    }
    return out;
}

std::vector<char> Payload(int64_t size, bool compressible)
{
    return compressible ? ReportBytes(size_t(size)) : RandomBytes(size_t(size));
}

/* A connected loopback pair through winport's Winsock, as the programs use. */
struct LoopbackPair {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;

    LoopbackPair()
    {
        KELLoadWinsock();
        KELWSAStartup();
        SOCKET listener = KelWs_socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = KelWs_htonl(INADDR_LOOPBACK);
        KelWs_bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        KelWs_listen(listener, 1);
        int len = sizeof addr;
        getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
        client = KelWs_socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        KelWs_connect(client, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        server = KelWs_accept(listener, nullptr, nullptr);
        KelWs_closesocket(listener);
    }
    ~LoopbackPair()
    {
        KelWs_closesocket(client);
        KelWs_closesocket(server);
        KelWs_WSACleanup();
    }
};

/* A sender thread that sends one message per token, so each benchmark
 * iteration is one message from SendMessageWithSize to KELrecv. */
class Sender {
public:
    Sender(SOCKET s, const std::vector<char> &payload, int options)
        : socket_(s), payload_(payload), options_(options), thread_([this] { Run(); })
    {}
    ~Sender()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_one();
        thread_.join();
    }
    void Go()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++tokens_;
        }
        cv_.notify_one();
    }

private:
    void Run()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait(lock, [this] { return stop_ || tokens_ > 0; });
            if (stop_)
                return;
            --tokens_;
            lock.unlock();
            SendMessageWithSize(socket_, payload_.data(), int(payload_.size()), options_);
        }
    }

    SOCKET socket_;
    const std::vector<char> &payload_;
    int options_;
    std::mutex mutex_;
    std::condition_variable cv_;
    int tokens_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

int OptionsForMode(int mode, bool compress)
{
    int options = compress ? 0 : SEND_NO_COMPRESS;
    switch (mode) {
    case 1:
        return options | SEND_BLOWFISH;
    case 2:
        return options | SEND_AES;
    case 4:
        return options | SEND_AES_DIGEST;
    case 8:
        return options | SEND_SEALED;
    default:
        return options;
    }
}

/* Args: payload size, mode, compressible (1) or random (0). */
void BM_WireRoundTrip(benchmark::State &state)
{
    const int64_t size = state.range(0);
    const int mode = int(state.range(1));
    const bool compressible = state.range(2) != 0;
    std::vector<char> payload = Payload(size, compressible);
    LoopbackPair pair;
    Sender sender(pair.client, payload, OptionsForMode(mode, true));
    MsgBuf buf{};
    for (auto _ : state) {
        sender.Go();
        do {
            if (!KELrecv(pair.server, &buf, 0)) {
                state.SkipWithError("KELrecv failed");
                break;
            }
        } while (buf.iLen != size);
    }
    FreeMsgBuf(&buf);
    state.SetBytesProcessed(state.iterations() * size);
    state.SetLabel(compressible ? "report" : "random");
}

void WireArgs(benchmark::internal::Benchmark *b)
{
    for (int64_t size : {1 << 10, 64 << 10, 1 << 20, 16 << 20})
        for (int mode : {0, 1, 4, 8})
            for (int compressible : {1, 0})
                b->Args({size, mode, compressible});
}
BENCHMARK(BM_WireRoundTrip)->Apply(WireArgs)->UseRealTime()->Unit(benchmark::kMicrosecond);

/* ---- the parts, each alone ---- */

void BM_PartDeflate(benchmark::State &state)
{
    std::vector<char> payload = Payload(state.range(0), state.range(1) != 0);
    std::vector<char> out(payload.size());
    for (auto _ : state) {
        int n = KELCompressTo(payload.data(), int(payload.size()), out.data());
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_PartInflate(benchmark::State &state)
{
    std::vector<char> payload = Payload(state.range(0), state.range(1) != 0);
    uLongf clen = compressBound(uLong(payload.size()));
    std::vector<Bytef> comp(clen);
    compress2(comp.data(), &clen, reinterpret_cast<const Bytef *>(payload.data()),
              uLong(payload.size()), Z_DEFAULT_COMPRESSION);
    std::vector<Bytef> out(payload.size());
    for (auto _ : state) {
        uLongf olen = uLongf(out.size());
        uncompress(out.data(), &olen, comp.data(), clen);
        benchmark::DoNotOptimize(olen);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.counters["compressed_bytes"] = double(clen);
}

void BM_PartAesCtr(benchmark::State &state)
{
    std::vector<char> data = RandomBytes(size_t(state.range(0)));
    const CryptoPP::byte key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const CryptoPP::byte iv[16] = {};
    for (auto _ : state) {
        CryptoPP::CTR_Mode<CryptoPP::AES>::Encryption ctr(key, sizeof key, iv);
        ctr.ProcessData(reinterpret_cast<CryptoPP::byte *>(data.data()),
                        reinterpret_cast<const CryptoPP::byte *>(data.data()), data.size());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_PartSha256(benchmark::State &state)
{
    std::vector<char> data = RandomBytes(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Sha256(data.data(), data.size(), SHA256_RAW));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

/* The bytes alone across the same kind of connection, sent and received with
 * plain send/recv through the same Winsock. */
void BM_PartSocketCopy(benchmark::State &state)
{
    const int64_t size = state.range(0);
    std::vector<char> data = RandomBytes(size_t(size));
    std::vector<char> in(static_cast<size_t>(size));
    LoopbackPair pair;
    std::mutex m;
    std::condition_variable cv;
    int tokens = 0;
    bool stop = false;
    std::thread t([&] {
        for (;;) {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return stop || tokens > 0; });
            if (stop)
                return;
            --tokens;
            lock.unlock();
            int64_t sent = 0;
            while (sent < size) {
                int n = KelWs_send(pair.client, data.data() + sent, int(size - sent), 0);
                if (n <= 0)
                    return;
                sent += n;
            }
        }
    });
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> lock(m);
            ++tokens;
        }
        cv.notify_one();
        int64_t got = 0;
        while (got < size) {
            int n = KelWs_recv(pair.server, in.data() + got, int(size - got), 0);
            if (n <= 0)
                break;
            got += n;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m);
        stop = true;
    }
    cv.notify_one();
    t.join();
    state.SetBytesProcessed(state.iterations() * size);
}

void PartArgs(benchmark::internal::Benchmark *b)
{
    for (int64_t size : {1 << 10, 64 << 10, 1 << 20, 16 << 20})
        for (int compressible : {1, 0})
            b->Args({size, compressible});
}
void SizeArgs(benchmark::internal::Benchmark *b)
{
    for (int64_t size : {1 << 10, 64 << 10, 1 << 20, 16 << 20})
        b->Args({size});
}
BENCHMARK(BM_PartDeflate)->Apply(PartArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PartInflate)->Apply(PartArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PartAesCtr)->Apply(SizeArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PartSha256)->Apply(SizeArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PartSocketCopy)->Apply(SizeArgs)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
