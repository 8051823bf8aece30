#include "zentrova/util/File.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zentrova-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        if (!dir.empty())
            std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string path(const char* name) const { return dir + "/" + name; }
    std::string make(const char* name, const std::string& content) const
    {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }
    std::string dir;
};

TEST_F(FileTest, OpenMissingFileThrowsSystemTextWithoutPath)
{
    const std::string missing = path("missing.bin");
    File f(missing.c_str(), "rb");
    try {
        f.open();
        FAIL() << "no exception";
    } catch (const FileException& e) {
        EXPECT_STREQ(e.what(), std::strerror(ENOENT));
        EXPECT_EQ(std::string(e.getFileName()), missing);
    }
    // Still closed: close does nothing, read reports nothing.
    EXPECT_NO_THROW(f.close());
    char c;
    EXPECT_EQ(f.read(&c, 1, 1), 0u);
}

TEST_F(FileTest, ReadWholeFileAsTheDeviceToolDoes)
{
    const std::string p = make("image.bin", "0123456789");
    File f(p.c_str(), "rb");
    f.open();
    char part[4] = {};
    ASSERT_EQ(f.read(part, 1, 3), 3u);
    EXPECT_EQ(f.getSize(), 10);
    EXPECT_EQ(f.getPos(), 3); // getSize leaves the position alone
    f.open();                 // second open keeps the stream and its position
    EXPECT_EQ(f.getPos(), 3);
    f.rewind();
    char all[16] = {};
    EXPECT_EQ(f.read(all, 2, 8), 5u); // whole elements only
    EXPECT_STREQ(all, "0123456789");
    f.seek(7);
    EXPECT_EQ(f.read(all, 1, 16), 3u); // short count at end of file, no exception
    f.close();
    EXPECT_NO_THROW(f.close());
}

TEST_F(FileTest, GetsLineByLine)
{
    const std::string p = make("lines.txt", "first line\nsecond\nlast");
    File f;
    f.setFileName(p.c_str());
    f.setAccessMode("r");
    f.open();
    char buf[8];
    EXPECT_STREQ(f.gets(buf, sizeof buf), "first l"); // at most size - 1 characters
    EXPECT_STREQ(f.gets(buf, sizeof buf), "ine\n");
    EXPECT_STREQ(f.gets(buf, sizeof buf), "second\n");
    EXPECT_STREQ(f.gets(buf, sizeof buf), "last");
    EXPECT_EQ(f.gets(buf, sizeof buf), nullptr);
    EXPECT_THROW(f.gets(buf, 0), FileException);
}

TEST_F(FileTest, GetsFromWriteOnlyStreamThrows)
{
    const std::string p = path("w.txt");
    File f(p.c_str(), "w");
    f.open();
    char buf[8];
    try {
        f.gets(buf, sizeof buf);
        FAIL() << "no exception";
    } catch (const FileException& e) {
        EXPECT_STREQ(e.what(), std::strerror(EBADF));
    }
}

TEST_F(FileTest, OperationsOnClosedFile)
{
    File f(path("never-opened").c_str(), "rb");
    char buf[4];
    EXPECT_THROW(f.getSize(), FileException);
    EXPECT_THROW(f.getPos(), FileException);
    EXPECT_THROW(f.seek(1), FileException);
    EXPECT_THROW(f.gets(buf, sizeof buf), FileException);
    EXPECT_EQ(f.write(buf, 1, 4), 0u);
    try {
        f.rewind();
    } catch (const FileException& e) {
        EXPECT_STREQ(e.what(), std::strerror(EBADF));
    }
}

TEST_F(FileTest, FailedCloseThrowsAndLeavesFileClosed)
{
    File f("/dev/full", "wb");
    try {
        f.open();
    } catch (const FileException&) {
        GTEST_SKIP() << "/dev/full not available";
    }
    ASSERT_EQ(f.write("x", 1, 1), 1u); // buffered; the flush in close fails
    try {
        f.close();
        FAIL() << "no exception";
    } catch (const FileException& e) {
        EXPECT_STREQ(e.what(), std::strerror(ENOSPC));
        EXPECT_STREQ(e.getFileName(), "/dev/full");
    }
    EXPECT_NO_THROW(f.close());
}

TEST_F(FileTest, OffsetsBeyondFourGigabytes)
{
    const std::string p = path("sparse.bin");
    const uint64_t far = (uint64_t(5) << 30) + 3;
    File f(p.c_str(), "wb+");
    f.open();
    f.seek(far);
    if (f.write("z", 1, 1) != 1)
        GTEST_SKIP() << "file system refuses a sparse 5 GiB file";
    EXPECT_EQ(f.getPos(), int64_t(far + 1));
    EXPECT_EQ(f.getSize(), int64_t(far + 1));
    f.seek(far);
    char c = 0;
    ASSERT_EQ(f.read(&c, 1, 1), 1u);
    EXPECT_EQ(c, 'z');
    EXPECT_THROW(f.seek(UINT64_MAX), FileException);
}

TEST_F(FileTest, MoveTransfersTheStream)
{
    const std::string p = make("m.bin", "abc");
    File a(p.c_str(), "rb");
    a.open();
    File b(std::move(a));
    EXPECT_EQ(b.getSize(), 3);
    EXPECT_THROW(a.getSize(), FileException); // NOLINT: moved-from is closed
}

} // namespace
