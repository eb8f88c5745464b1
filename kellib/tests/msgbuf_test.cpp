/*
 * MsgBuf readers and writers: what each returns, what it leaves behind, how
 * the block grows, and that nothing a payload says can make a reader run
 * past the data or a string reader past its output.
 */
#include <kellib/msgbuf.h>
#include <kellib/wire.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

/* A buffer holding exactly the given bytes (block sized to them). */
class Buf {
public:
    explicit Buf(const std::string &bytes = std::string())
    {
        InitMsgBuf(&b, 0);
        if (!bytes.empty())
            AppendBytes(&b, bytes.data(), static_cast<int>(bytes.size()));
    }
    ~Buf() { FreeMsgBuf(&b); }
    Buf(const Buf &) = delete;
    Buf &operator=(const Buf &) = delete;

    std::string Rest() const { return std::string(b.szBuf ? b.szBuf : "", b.iLen); }
    MsgBuf b;
};

TEST(MsgBufTake, IntsAndBytesComeOffTheFrontInOrder)
{
    Buf buf(std::string("\x01\x00\x00\x00\xfe\xff\xff\xff\x9c\xff\xff\xff\x80z", 14));
    EXPECT_EQ(TakeInt(&buf.b), 1);
    EXPECT_EQ(TakeInt(&buf.b), -2);
    EXPECT_EQ(TakeInt(&buf.b), -100); /* a stored -100 looks like a short buffer */
    EXPECT_EQ(TakeByte(&buf.b), 0x80);
    EXPECT_EQ(buf.Rest(), "z");
    EXPECT_EQ(TakeByte(&buf.b), 'z');
    EXPECT_EQ(TakeByte(&buf.b), KEL_SHORT_BUFFER);
}

TEST(MsgBufTake, ShortBufferAnswersMinus100AndKeepsTheBytes)
{
    Buf buf("abc");
    EXPECT_EQ(TakeInt(&buf.b), KEL_SHORT_BUFFER);
    EXPECT_EQ(buf.Rest(), "abc");

    char out[8];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(TakeBytes(&buf.b, out, 4), KEL_SHORT_BUFFER);
    EXPECT_EQ(std::string(out, 4), std::string(4, '\0')) << "out is zero-filled even on failure";
    EXPECT_EQ(buf.Rest(), "abc");

    EXPECT_EQ(TakeBytes(&buf.b, out, -1), KEL_SHORT_BUFFER);
    EXPECT_EQ(buf.Rest(), "abc");

    Buf empty;
    char s[4] = "zz";
    EXPECT_EQ(TakeString(&empty.b, s), KEL_SHORT_BUFFER);
    EXPECT_STREQ(s, "");
    strcpy(s, "zz");
    EXPECT_EQ(TakeField(&empty.b, s), KEL_SHORT_BUFFER);
    EXPECT_STREQ(s, "");
    EXPECT_EQ(TakeByte(&empty.b), KEL_SHORT_BUFFER);
}

TEST(MsgBufTake, StringsAndFieldsKeepLaterFieldsAligned)
{
    Buf buf(std::string("abc\x01"
                        "def",
                        7));
    char field[16];
    EXPECT_EQ(TakeField(&buf.b, field), 0);
    EXPECT_STREQ(field, "abc");
    EXPECT_EQ(buf.Rest(), "def");
    EXPECT_EQ(TakeField(&buf.b, field), 0);
    EXPECT_STREQ(field, "def");
    EXPECT_EQ(buf.b.iLen, 0);

    /* A string longer than its output is cut but consumed whole. */
    Buf names(std::string("a-very-long-printer-name\0next\0", 30));
    char small[6];
    EXPECT_EQ(TakeString(&names.b, small), 0);
    EXPECT_STREQ(small, "a-ver");
    EXPECT_EQ(TakeString(&names.b, small), 0);
    EXPECT_STREQ(small, "next");
    EXPECT_EQ(names.b.iLen, 0);

    Buf fields(std::string("0123456789\x01tail", 15));
    char three[4];
    EXPECT_EQ(TakeField(&fields.b, three), 0);
    EXPECT_STREQ(three, "012");
    EXPECT_EQ(fields.Rest(), "tail");
}

TEST(MsgBufTake, StringWithoutTerminatorRunsToTheEndOfTheData)
{
    /* The block holds more bytes than iLen says: they must not be read. */
    Buf buf("xyz");
    ASSERT_EQ(AppendBytes(&buf.b, "SECRET", 6), 1);
    buf.b.iLen = 3;
    char out[32];
    EXPECT_EQ(TakeString(&buf.b, out), 0);
    EXPECT_STREQ(out, "xyz");
    EXPECT_EQ(buf.b.iLen, 0);

    Buf field("no-separator");
    EXPECT_EQ(TakeField(&field.b, out), 0);
    EXPECT_STREQ(out, "no-separator");
    EXPECT_EQ(field.b.iLen, 0);
}

TEST(MsgBufAppend, EmptyBufferIsSizedToTheFirstWrite)
{
    struct Case {
        std::function<int(MsgBuf *)> write;
        int size;
        std::string bytes;
    } cases[] = {
        {[](MsgBuf *b) { return AppendBytes(b, "hello", 5); }, 5, "hello"},
        {[](MsgBuf *b) { return AppendByte(b, 'q'); }, 1, "q"},
        {[](MsgBuf *b) { return AppendInt(b, 0x04030201); }, 5, "\x01\x02\x03\x04"},
        {[](MsgBuf *b) { return AppendString(b, "abc", 0); }, 4, std::string("abc\0", 4)},
        {[](MsgBuf *b) { return AppendString(b, "abc", APPEND_NO_NUL); }, 4, "abc"},
    };
    for (const Case &c : cases) {
        Buf b;
        ASSERT_EQ(c.write(&b.b), 1);
        EXPECT_EQ(b.b.iBufSize, c.size) << c.bytes;
        EXPECT_EQ(b.Rest(), c.bytes);
    }
}

TEST(MsgBufAppend, GrowthStepsAreTheTraditionalOnes)
{
    Buf b("12345"); /* size 5, used 5 */
    ASSERT_EQ(AppendBytes(&b.b, "67", 2), 1);
    EXPECT_EQ(b.b.iBufSize, 7) << "raw bytes grow to exactly what is used";
    ASSERT_EQ(AppendByte(&b.b, '8'), 1);
    EXPECT_EQ(b.b.iBufSize, 107) << "a byte grows the block by 100";
    b.b.iLen = 103; /* 103 + 4 >= 107 */
    ASSERT_EQ(AppendInt(&b.b, 7), 1);
    EXPECT_EQ(b.b.iBufSize, 207) << "an int grows the block by 100";
    EXPECT_EQ(b.b.iLen, 107);
    ASSERT_EQ(AppendString(&b.b, std::string(100, 's').c_str(), 0), 1);
    EXPECT_EQ(b.b.iBufSize, 207 + 101 + 100) << "a string grows it by its length + 100";
    EXPECT_EQ(b.b.iLen, 208);
    /* Below the limit nothing is reallocated. */
    ASSERT_EQ(AppendByte(&b.b, 'x'), 1);
    EXPECT_EQ(b.b.iBufSize, 408);
}

TEST(MsgBufAppend, RefusalsLeaveTheBufferAsItWas)
{
    Buf b("keep");
    const char *block = b.b.szBuf;
    EXPECT_EQ(AppendBytes(&b.b, "x", -1), 0);
    EXPECT_EQ(AppendBytes(&b.b, nullptr, 3), 0);
    EXPECT_EQ(AppendString(&b.b, nullptr, 0), 0);
    /* Past the wire limit: refused before any allocation. */
    b.b.iLen = KEL_MAX_WIRE_LENGTH - 2;
    b.b.iBufSize = KEL_MAX_WIRE_LENGTH - 2;
    EXPECT_EQ(AppendInt(&b.b, 1), 0);
    EXPECT_EQ(AppendBytes(&b.b, "abc", 3), 0);
    EXPECT_EQ(AppendString(&b.b, "ab", 0), 0);
    EXPECT_EQ(b.b.szBuf, block);
    EXPECT_EQ(b.b.iLen, KEL_MAX_WIRE_LENGTH - 2);
    EXPECT_EQ(b.b.iBufSize, KEL_MAX_WIRE_LENGTH - 2);
    /* int overflow of iLen + n is refused too. */
    b.b.iLen = 0x7ffffff0;
    EXPECT_EQ(AppendBytes(&b.b, "abcdefghijklmnopqrstuvwxyz", 26), 0);
    b.b.iLen = 4;
    b.b.iBufSize = 4;
    EXPECT_EQ(b.Rest(), "keep");
}

} // namespace
