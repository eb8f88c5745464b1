/*
 * Window messages between processes (see remote_message.h): the sending
 * side in the caller's thread, the receiving side on an endpoint
 * connection thread.
 */
#include "user/remote_message.h"

#include "user/desktop.h"
#include "user/endpoint.h"
#include "user/message_private.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace winport::remote {
namespace {

constexpr size_t kMaxTextBuffer = 64 * 1024; // WM_GETTEXT across processes

bool MarshalsString(UINT message)
{
    return message == WM_SETTEXT || message == WM_DEVMODECHANGE || message == WM_WININICHANGE;
}

/* Fills the payload of a send; false for a message that cannot cross. */
bool Marshal(UINT message, WPARAM wParam, LPARAM lParam, wire::MessageRequest *request)
{
    if (message == WM_CREATE || message == WM_NCCREATE)
        return false;
    if (message == WM_COPYDATA) {
        const auto *cds = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
        if (!cds) {
            request->payloadKind = wire::kPayloadNull;
            return true;
        }
        if (cds->cbData > wire::kMaxBody - 4096 || (cds->cbData && !cds->lpData))
            return false;
        request->payloadKind = wire::kPayloadCopyData;
        request->dataTag = cds->dwData;
        const auto *bytes = static_cast<const unsigned char *>(cds->lpData);
        request->data.assign(bytes, bytes + cds->cbData);
        return true;
    }
    if (MarshalsString(message)) {
        const char *text = reinterpret_cast<const char *>(lParam);
        request->payloadKind = text ? wire::kPayloadString : wire::kPayloadNull;
        if (text)
            request->data.assign(text, text + std::strlen(text));
        return true;
    }
    if (message == WM_GETTEXT) {
        request->payloadKind = wire::kPayloadTextBuffer;
        request->dataTag = std::min<uint64_t>(wParam, kMaxTextBuffer);
        return true;
    }
    request->payloadKind = wire::kPayloadNone;
    return true;
}

/* Points lParam of a received send at its unmarshalled data; false when
 * the request does not fit its message (lParam must never be a foreign
 * pointer). */
bool Unmarshal(const wire::MessageRequest &request, SentMessage *sent)
{
    const UINT message = request.message;
    sent->lParam = static_cast<LPARAM>(request.lParam);
    switch (request.payloadKind) {
    case wire::kPayloadNone:
        return !IsPointerMessage(message) && message != WM_GETTEXT;
    case wire::kPayloadNull:
        sent->lParam = 0;
        return message == WM_COPYDATA || MarshalsString(message);
    case wire::kPayloadCopyData:
        if (message != WM_COPYDATA)
            return false;
        sent->payload = request.data;
        sent->copyData.dwData = static_cast<ULONG_PTR>(request.dataTag);
        sent->copyData.cbData = static_cast<DWORD>(sent->payload.size());
        sent->copyData.lpData = sent->payload.empty() ? nullptr : sent->payload.data();
        sent->lParam = reinterpret_cast<LPARAM>(&sent->copyData);
        return true;
    case wire::kPayloadString:
        if (!MarshalsString(message))
            return false;
        sent->payload = request.data;
        sent->payload.push_back(0);
        sent->lParam = reinterpret_cast<LPARAM>(sent->payload.data());
        return true;
    case wire::kPayloadTextBuffer:
        if (message != WM_GETTEXT || request.dataTag > kMaxTextBuffer)
            return false;
        sent->payload.assign(static_cast<size_t>(request.dataTag) + 1, 0);
        sent->wParam = static_cast<WPARAM>(request.dataTag);
        sent->lParam = reinterpret_cast<LPARAM>(sent->payload.data());
        return true;
    default:
        return false;
    }
}

wire::Reply StatusReply(wire::Status status)
{
    wire::Reply reply;
    reply.status = status;
    return reply;
}

/* Reads the reply of a send while handling this thread's sent messages. */
SendOutcome AwaitReply(int fd, UINT flags, int64_t timeoutMs, wire::Reply *reply)
{
    ThreadQueue &self = ThreadQueue::Current();
    const uint64_t start = MonotonicNs();
    for (;;) {
        if (!(flags & SMTO_BLOCK))
            ProcessSentMessages(self);
        int64_t left = -1;
        if (timeoutMs >= 0) {
            left = timeoutMs - static_cast<int64_t>((MonotonicNs() - start) / 1000000);
            if (left <= 0)
                return SendOutcome::TimedOut;
        }
        self.SetWaiting(!(flags & SMTO_BLOCK));
        const int woken = self.waker()->Wait(left, fd);
        self.SetWaiting(false);
        if (woken & Waker::kOtherFd) {
            wire::Frame frame;
            std::string why;
            if (!wire::ReadFrame(fd, &frame, endpoint::kIoGuardMs, &why) ||
                frame.kind != wire::Kind::Reply || !wire::Decode(frame.body, reply))
                return SendOutcome::ReceiverGone; // the process ended while we waited
            return SendOutcome::Done;
        }
    }
}

} // namespace

bool IsPointerMessage(UINT message)
{
    switch (message) {
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_WININICHANGE:
    case WM_DEVMODECHANGE:
    case WM_COPYDATA:
        return true;
    default:
        return false;
    }
}

BOOL Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    wire::MessageRequest request;
    request.hwnd = reinterpret_cast<uint64_t>(hwnd);
    request.message = message;
    request.wParam = wParam;
    request.lParam = static_cast<uint64_t>(lParam);
    wire::Reply reply;
    if (!desktop::Lookup(hwnd) ||
        !endpoint::Call(WindowTable::PidOf(hwnd), wire::Kind::Post, wire::Encode(request), -1,
                        &reply) ||
        reply.status == wire::Status::InvalidWindow || reply.status == wire::Status::BadRequest) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (reply.status == wire::Status::QueueFull) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    return TRUE;
}

void PostToOtherProcesses(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (const desktop::Entry &entry : desktop::OtherProcesses())
        Post(entry.hwnd, message, wParam, lParam);
}

SendOutcome Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                 int64_t timeoutMs, LRESULT *result)
{
    wire::MessageRequest request;
    request.hwnd = reinterpret_cast<uint64_t>(hwnd);
    request.message = message;
    request.wParam = wParam;
    request.lParam = static_cast<uint64_t>(lParam);
    request.flags = flags;
    if (!Marshal(message, wParam, lParam, &request))
        return SendOutcome::Refused;
    if (!desktop::Lookup(hwnd))
        return SendOutcome::InvalidWindow;
    int fd = endpoint::Connect(WindowTable::PidOf(hwnd));
    if (fd < 0)
        return SendOutcome::InvalidWindow;
    wire::Reply reply;
    SendOutcome outcome = wire::SendFrame(fd, wire::Kind::Send, wire::Encode(request))
                              ? AwaitReply(fd, flags, timeoutMs, &reply)
                              : SendOutcome::InvalidWindow;
    close(fd); // after a time-out this tells the receiver nobody waits any more
    if (outcome != SendOutcome::Done)
        return outcome;
    switch (reply.status) {
    case wire::Status::Ok:
        *result = static_cast<LRESULT>(reply.result);
        if (message == WM_GETTEXT && lParam && wParam) {
            const size_t n = std::min(reply.data.size(), static_cast<size_t>(wParam) - 1);
            std::memcpy(reinterpret_cast<char *>(lParam), reply.data.data(), n);
            reinterpret_cast<char *>(lParam)[n] = '\0';
        }
        return SendOutcome::Done;
    case wire::Status::Hung:
        return SendOutcome::Hung;
    case wire::Status::ReceiverGone:
        return SendOutcome::ReceiverGone;
    case wire::Status::BadRequest:
        return SendOutcome::Refused;
    default:
        return SendOutcome::InvalidWindow;
    }
}

wire::Reply HandlePost(const wire::Bytes &body)
{
    wire::MessageRequest request;
    if (!wire::Decode(body, &request) || IsPointerMessage(request.message))
        return StatusReply(wire::Status::BadRequest);
    const HWND hwnd = reinterpret_cast<HWND>(request.hwnd);
    const WPARAM wParam = static_cast<WPARAM>(request.wParam);
    const LPARAM lParam = static_cast<LPARAM>(request.lParam);
    if (IsBroadcast(hwnd)) {
        for (const WindowRef &window : WindowTable::Instance().TopLevel())
            PostToLocalWindow(window, request.message, wParam, lParam);
        return StatusReply(wire::Status::Ok);
    }
    WindowRef window = WindowTable::Instance().Find(hwnd);
    if (!window)
        return StatusReply(wire::Status::InvalidWindow);
    if (!PostToLocalWindow(window, request.message, wParam, lParam))
        return StatusReply(GetLastError() == ERROR_NOT_ENOUGH_QUOTA ? wire::Status::QueueFull
                                                                    : wire::Status::InvalidWindow);
    return StatusReply(wire::Status::Ok);
}

wire::Reply HandleSend(int connection, const wire::Bytes &body)
{
    wire::MessageRequest request;
    auto sent = std::make_shared<SentMessage>();
    if (!wire::Decode(body, &request))
        return StatusReply(wire::Status::BadRequest);
    sent->hwnd = reinterpret_cast<HWND>(request.hwnd);
    sent->message = request.message;
    sent->wParam = static_cast<WPARAM>(request.wParam);
    if (!Unmarshal(request, sent.get()))
        return StatusReply(wire::Status::BadRequest);
    WindowRef window = WindowTable::Instance().Find(sent->hwnd);
    std::shared_ptr<ThreadQueue> queue = window ? ThreadQueue::Find(window->tid) : nullptr;
    if (!queue)
        return StatusReply(wire::Status::InvalidWindow);
    if ((request.flags & SMTO_ABORTIFHUNG) && queue->IsHung())
        return StatusReply(wire::Status::Hung);
    auto notify = std::make_shared<Waker>();
    sent->notify = notify;
    if (!queue->PushSent(sent))
        return StatusReply(wire::Status::InvalidWindow);
    int watch = connection; // the sender hanging up means it stopped waiting
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(sent->lock);
            if (sent->state == SentMessage::State::Done)
                break;
        }
        if (notify->Wait(-1, watch) & Waker::kOtherFd) {
            std::lock_guard<std::mutex> guard(sent->lock);
            if (sent->state == SentMessage::State::Queued) {
                sent->state = SentMessage::State::Abandoned;
                return StatusReply(wire::Status::ReceiverGone);
            }
            watch = -1; // already running: wait for it, then answer into the void
        }
    }
    std::lock_guard<std::mutex> guard(sent->lock);
    wire::Reply reply;
    reply.status = sent->receiverGone ? wire::Status::ReceiverGone : wire::Status::Ok;
    reply.result = sent->result;
    if (request.payloadKind == wire::kPayloadTextBuffer) {
        const auto *text = reinterpret_cast<const char *>(sent->payload.data());
        reply.data.assign(text, text + strnlen(text, sent->payload.size()));
    }
    return reply;
}

} // namespace winport::remote
