/*
 * File compression and inflation through Windows paths, and the patient
 * file move: round trips of empty, small and large files, the boxes shown
 * for missing sources, and that a failed inflation leaves no destination.
 */
#include <kellib/compress.h>

#include <scratch_root.h>
#include <winport_test.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ZipFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(root.driveC("work"));
        winport_test_reset_msgboxes();
    }

    void Write(const std::string &name, const std::string &bytes)
    {
        std::ofstream(root.driveC("work/" + name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string &name)
    {
        std::ifstream in(root.driveC("work/" + name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool Exists(const std::string &name) { return fs::exists(root.driveC("work/" + name)); }
    static std::string Win(const std::string &name) { return "c:\\work\\" + name; }

    ScratchRoot root;
};

std::string Mixed(size_t n)
{
    std::mt19937 gen(3);
    std::string s;
    s.reserve(n);
    while (s.size() < n) {
        s += "Line " + std::to_string(s.size()) + " of the report\r\n";
        for (int i = 0; i < 8; ++i)
            s += static_cast<char>(gen());
    }
    s.resize(n);
    return s;
}

std::string Inflate(const std::string &stream, size_t expected)
{
    uLongf n = expected + 1;
    std::string out(n, '\0');
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef *>(out.data()), &n,
                         reinterpret_cast<const Bytef *>(stream.data()), stream.size()),
              Z_OK);
    out.resize(n);
    return out;
}

TEST_F(ZipFileTest, RoundTripsSmallAndLargeFiles)
{
    for (size_t size : {1u, 1000u, 3u * 1024 * 1024 + 17}) {
        std::string original = Mixed(size);
        Write("in.bin", original);
        ASSERT_EQ(KelZipPlus(Win("in.bin").c_str(), Win("in.zz").c_str(), 0), -1) << size;
        EXPECT_EQ(Inflate(Read("in.zz"), size), original) << "system zlib reads it";
        ASSERT_EQ(KelUnZipPlus(Win("in.zz").c_str(), Win("out.bin").c_str()), -1) << size;
        EXPECT_EQ(Read("out.bin"), original) << size;
    }
    EXPECT_EQ(winport_test_msgbox_count(), 0);
}

TEST_F(ZipFileTest, IncompressibleFileIsWrittenWhole)
{
    /* Its stream outgrows the file by more than the 1000 spare bytes of the
     * output block: it must be written whole, not cut at the block. */
    std::mt19937 gen(11);
    std::string random(4 * 1024 * 1024, '\0');
    for (auto &c : random)
        c = static_cast<char>(gen());
    Write("noise.bin", random);
    ASSERT_EQ(KelZipPlus(Win("noise.bin").c_str(), Win("noise.zz").c_str(), 0), -1);
    ASSERT_GT(Read("noise.zz").size(), random.size() + 1000);
    EXPECT_EQ(Inflate(Read("noise.zz"), random.size()), random);
}

TEST_F(ZipFileTest, EmptySourceGivesEmptyDestinationThatDoesNotInflate)
{
    Write("empty.txt", "");
    ASSERT_EQ(KelZipPlus(Win("empty.txt").c_str(), Win("empty.zz").c_str(), 0), -1);
    ASSERT_TRUE(Exists("empty.zz"));
    EXPECT_EQ(Read("empty.zz"), "");
    EXPECT_EQ(KelUnZipPlus(Win("empty.zz").c_str(), Win("empty.out").c_str()), 0);
    EXPECT_FALSE(Exists("empty.out"));
}

TEST_F(ZipFileTest, MissingSourceShowsItsBoxUnlessQuiet)
{
    EXPECT_EQ(KelZipPlus(Win("nope.txt").c_str(), Win("nope.zz").c_str(), 0), 0);
    EXPECT_EQ(winport_test_msgbox_count(), 1);
    EXPECT_STREQ(winport_test_last_msgbox(),
                 "Error!: Unable To Open c:\\work\\nope.txt for Compression");
    EXPECT_FALSE(Exists("nope.zz"));

    EXPECT_EQ(KelZipPlus(Win("nope.txt").c_str(), Win("nope.zz").c_str(), KELZIP_QUIET), 0);
    EXPECT_EQ(winport_test_msgbox_count(), 1);

    EXPECT_EQ(KelUnZipPlus(Win("nope.zz").c_str(), Win("nope.out").c_str()), 0);
    EXPECT_EQ(winport_test_msgbox_count(), 2);
    EXPECT_STREQ(winport_test_last_msgbox(),
                 "Error!: Unable to Open c:\\work\\nope.zz for Uncompression");
    EXPECT_FALSE(Exists("nope.out"));
}

TEST_F(ZipFileTest, BrokenStreamsLeaveNoDestination)
{
    std::string original = Mixed(200000);
    Write("in.bin", original);
    ASSERT_EQ(KelZipPlus(Win("in.bin").c_str(), Win("good.zz").c_str(), 0), -1);
    std::string good = Read("good.zz");

    std::string corrupt = good;
    corrupt[corrupt.size() / 3] ^= 0x40;
    Write("corrupt.zz", corrupt);
    EXPECT_EQ(KelUnZipPlus(Win("corrupt.zz").c_str(), Win("corrupt.out").c_str()), 0);
    EXPECT_FALSE(Exists("corrupt.out"));

    /* Cut short: part of the file would come out, but it is not the file. */
    Write("cut.zz", good.substr(0, good.size() / 2));
    EXPECT_EQ(KelUnZipPlus(Win("cut.zz").c_str(), Win("cut.out").c_str()), 0);
    EXPECT_FALSE(Exists("cut.out"));

    Write("text.zz", "this is not a zlib stream at all");
    EXPECT_EQ(KelUnZipPlus(Win("text.zz").c_str(), Win("text.out").c_str()), 0);
    EXPECT_FALSE(Exists("text.out"));
}

TEST_F(ZipFileTest, InflationPastItsLimitLeavesNoDestination)
{
    /* A megabyte of zeros is a stream of about a kilobyte: the limit, not
     * the stream's size, must stop it. */
    Write("zeros.bin", std::string(1 << 20, '\0'));
    ASSERT_EQ(KelZipPlus(Win("zeros.bin").c_str(), Win("zeros.zz").c_str(), 0), -1);
    ASSERT_LT(Read("zeros.zz").size(), 8192u);
    EXPECT_EQ(KelUnZipPlusLimit(Win("zeros.zz").c_str(), Win("big.out").c_str(), (1 << 20) - 1), 0);
    EXPECT_FALSE(Exists("big.out"));
    EXPECT_EQ(KelUnZipPlusLimit(Win("zeros.zz").c_str(), Win("fits.out").c_str(), 1 << 20), -1);
    EXPECT_EQ(Read("fits.out").size(), size_t(1) << 20);
}

TEST_F(ZipFileTest, MoveFileExStopsAtOnceOnMissingSource)
{
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(KELMoveFileEx(Win("absent.txt").c_str(), Win("there.txt").c_str(), 0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));

    Write("a.txt", "moved");
    EXPECT_TRUE(
        KELMoveFileEx(Win("a.txt").c_str(), Win("b.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_EQ(Read("b.txt"), "moved");
}

} // namespace
