/*
 * Parked descriptors of socket hand-offs (see handoff.h).
 */
#include "user/handoff.h"

#include "kernel/clock.h"
#include "user/error_log.h"
#include "user/thread_queue.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace winport::handoff {
namespace {

struct Slot {
    Parked parked;
    uint64_t expiresNs;
};

struct Store {
    std::mutex lock;
    std::unordered_map<uint64_t, Slot> slots; // guarded by lock
};

Store &TheStore()
{
    static Store *store = new Store; // the endpoint thread may outlive main()
    return *store;
}

} // namespace

void Park(uint64_t token, const Parked &parked)
{
    int replaced = -1;
    {
        Store &store = TheStore();
        std::lock_guard<std::mutex> guard(store.lock);
        auto it = store.slots.find(token);
        if (it != store.slots.end())
            replaced = it->second.parked.fd;
        store.slots[token] = Slot{parked, MonotonicNs() + RealNs(kLifetimeMs)};
    }
    if (replaced >= 0)
        close(replaced);
}

bool Claim(uint64_t token, Parked *out)
{
    ExpireDue();
    Store &store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    auto it = store.slots.find(token);
    if (it == store.slots.end())
        return false;
    *out = it->second.parked;
    store.slots.erase(it);
    return true;
}

int64_t NextExpiryMs()
{
    Store &store = TheStore();
    std::lock_guard<std::mutex> guard(store.lock);
    if (store.slots.empty())
        return -1;
    uint64_t next = UINT64_MAX;
    for (const auto &entry : store.slots)
        next = std::min(next, entry.second.expiresNs);
    const uint64_t now = MonotonicNs();
    return next <= now ? 0 : static_cast<int64_t>((next - now + 999999) / 1000000);
}

void ExpireDue()
{
    std::vector<int> expired;
    {
        Store &store = TheStore();
        std::lock_guard<std::mutex> guard(store.lock);
        const uint64_t now = MonotonicNs();
        for (auto it = store.slots.begin(); it != store.slots.end();) {
            if (it->second.expiresNs <= now) {
                expired.push_back(it->second.parked.fd);
                it = store.slots.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (int fd : expired) {
        close(fd);
        WriteErrorLog("winport: a handed-over socket was never claimed; closed it");
    }
}

wire::Reply HandlePark(const wire::Bytes &body, int fd)
{
    wire::Reply reply;
    wire::ParkRequest request;
    if (fd < 0 || !wire::Decode(body, &request)) {
        if (fd >= 0)
            close(fd);
        reply.status = wire::Status::BadRequest;
        return reply;
    }
    Park(request.token, Parked{fd, request.family, request.type, request.protocol});
    return reply;
}

void Clear()
{
    std::vector<int> fds;
    {
        Store &store = TheStore();
        std::lock_guard<std::mutex> guard(store.lock);
        for (const auto &entry : store.slots)
            fds.push_back(entry.second.parked.fd);
        store.slots.clear();
    }
    for (int fd : fds)
        close(fd);
}

} // namespace winport::handoff
