/*
 * Fuzz target for MsgBuf: the input is a script of reader and writer calls
 * on a buffer whose first contents also come from the input.  Every call is
 * mirrored on a plain std::string model, and the buffer must agree with the
 * model after each step; the string readers get output blocks of exactly
 * the capacity they are told, so any overrun hits the sanitizer.
 */
#include "kellib/msgbuf.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok)
{
    if (!ok)
        abort();
}

void CheckSame(const MsgBuf &b, const std::string &model)
{
    Check(b.iLen == static_cast<int>(model.size()));
    Check(b.iLen == 0 || (b.szBuf != nullptr && b.iLen <= b.iBufSize));
    Check(b.iLen == 0 || memcmp(b.szBuf, model.data(), model.size()) == 0);
}

/* TakeString / TakeField on the model: the run up to `stop`, cut to cap-1. */
std::string ModelTake(std::string &model, char stop, int cap)
{
    size_t end = model.find(stop);
    size_t run = end == std::string::npos ? model.size() : end;
    std::string out = model.substr(0, cap > 0 ? std::min(run, static_cast<size_t>(cap - 1)) : 0);
    out = out.substr(0, strnlen(out.c_str(), out.size()));
    model.erase(0, end == std::string::npos ? run : run + 1);
    return out;
}

void TakeText(FuzzedDataProvider &in, MsgBuf &b, std::string &model, bool field)
{
    int cap = in.ConsumeIntegralInRange<int>(0, 40);
    std::vector<char> out(static_cast<size_t>(cap));
    bool wasEmpty = model.empty();
    int rc = field ? TakeField(&b, out.data(), cap) : TakeString(&b, out.data(), cap);
    Check(rc == (wasEmpty ? KEL_SHORT_BUFFER : 0));
    if (wasEmpty)
        return;
    std::string expected = ModelTake(model, field ? '\x01' : '\0', cap);
    if (cap > 0)
        Check(expected == out.data());
}

void TakeFixed(FuzzedDataProvider &in, MsgBuf &b, std::string &model, int op)
{
    if (op == 0) {
        int v = TakeInt(&b);
        if (model.size() < 4)
            return Check(v == KEL_SHORT_BUFFER);
        uint32_t u = 0;
        memcpy(&u, model.data(), 4); /* little-endian host */
        Check(v == static_cast<int32_t>(u));
        model.erase(0, 4);
    } else if (op == 1) {
        int v = TakeByte(&b);
        if (model.empty())
            return Check(v == KEL_SHORT_BUFFER);
        Check(v == static_cast<unsigned char>(model[0]));
        model.erase(0, 1);
    } else {
        int n = in.ConsumeIntegralInRange<int>(-2, 64);
        bool discard = in.ConsumeBool();
        std::vector<char> out(n > 0 ? static_cast<size_t>(n) : 0);
        int rc = TakeBytes(&b, discard ? nullptr : out.data(), n);
        if (n < 0 || model.size() < static_cast<size_t>(n))
            return Check(rc == KEL_SHORT_BUFFER);
        Check(rc == 0);
        Check(discard || n == 0 || memcmp(out.data(), model.data(), static_cast<size_t>(n)) == 0);
        model.erase(0, static_cast<size_t>(n));
    }
}

void Append(FuzzedDataProvider &in, MsgBuf &b, std::string &model, int op)
{
    if (op == 0) {
        std::string bytes = in.ConsumeRandomLengthString(200);
        Check(AppendBytes(&b, bytes.data(), static_cast<int>(bytes.size())) == 1);
        model += bytes;
    } else if (op == 1) {
        uint8_t v = in.ConsumeIntegral<uint8_t>();
        Check(AppendByte(&b, v) == 1);
        model += static_cast<char>(v);
    } else if (op == 2) {
        int32_t v = in.ConsumeIntegral<int32_t>();
        Check(AppendInt(&b, v) == 1);
        model.append(reinterpret_cast<const char *>(&v), 4); /* little-endian host */
    } else {
        std::string text = in.ConsumeRandomLengthString(100);
        text = text.substr(0, strnlen(text.c_str(), text.size()));
        bool noNul = in.ConsumeBool();
        Check(AppendString(&b, text.c_str(), noNul ? APPEND_NO_NUL : 0) == 1);
        model += text;
        if (!noNul)
            model += '\0';
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    MsgBuf b;
    InitMsgBuf(&b, in.ConsumeIntegralInRange<int>(0, 64));
    std::string model = in.ConsumeRandomLengthString(512);
    if (!model.empty())
        Check(AppendBytes(&b, model.data(), static_cast<int>(model.size())) == 1);
    while (in.remaining_bytes() > 0) {
        int op = in.ConsumeIntegralInRange<int>(0, 10);
        if (op < 3)
            TakeFixed(in, b, model, op);
        else if (op < 5)
            TakeText(in, b, model, op == 4);
        else if (op < 9)
            Append(in, b, model, op - 5);
        else if (op == 9) {
            FreeMsgBuf(&b);
            model.clear();
            Check(b.szBuf == nullptr && b.iBufSize == 0);
        } else {
            /* A buffer whose block holds more than iLen: no reader may look
             * past iLen. */
            std::string hidden = in.ConsumeRandomLengthString(16);
            int keep = b.iLen;
            if (AppendBytes(&b, hidden.data(), static_cast<int>(hidden.size())))
                b.iLen = keep;
        }
        CheckSame(b, model);
    }
    FreeMsgBuf(&b);
    return 0;
}
