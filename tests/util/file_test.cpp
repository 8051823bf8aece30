#include "zentrova/util/File.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

// "message @ file" of the FileException that `f` throws.
std::string failure(const std::function<void()>& f)
{
    try {
        f();
    } catch (const FileException& e) {
        return std::string(e.what()) + " @ " + e.getFileName();
    }
    return "nothing thrown";
}

// The system's text for `error` and the path beside it.
std::string error(int error, const std::string& file)
{
    return std::string(std::strerror(error)) + " @ " + file;
}

TEST(File, MissingOrClosedFile)
{
    TempDir dir;
    const std::string missing = dir.path("missing.bin");
    File f(missing.c_str(), "rb");
    EXPECT_EQ(failure([&] { f.open(); }), error(ENOENT, missing));
    // Still closed: close does nothing, read and write report nothing, the rest throw.
    EXPECT_NO_THROW(f.close());
    char buf[4];
    EXPECT_EQ(f.read(buf, 1, 1), 0u);
    EXPECT_EQ(f.write(buf, 1, 4), 0u);
    for (const auto& op : std::vector<std::function<void()>>{[&] { f.getSize(); }, [&] { f.getPos(); },
                                                             [&] { f.seek(1); }, [&] { f.rewind(); },
                                                             [&] { f.gets(buf, sizeof buf); }})
        EXPECT_EQ(failure(op), error(EBADF, missing));

    // A moved-from File is closed.
    std::ofstream(dir.path("m.bin")) << "abc";
    File a(dir.path("m.bin").c_str(), "rb");
    a.open();
    File b(std::move(a));
    EXPECT_EQ(b.getSize(), 3);
    EXPECT_EQ(failure([&] { a.getSize(); }).rfind(std::strerror(EBADF), 0), 0u); // NOLINT: use after move
}

TEST(File, ReadsAndGetsLines)
{
    TempDir dir;
    std::ofstream(dir.path("image.bin")) << "0123456789\nlast";
    File f(dir.path("image.bin").c_str(), "rb");
    f.open();
    char buf[16] = {};
    ASSERT_EQ(f.read(buf, 1, 3), 3u);
    EXPECT_EQ(f.getSize(), 15);
    EXPECT_EQ(f.getPos(), 3); // getSize leaves the position alone
    f.open();                 // a second open keeps the stream and its position
    EXPECT_EQ(f.getPos(), 3);
    f.rewind();
    EXPECT_STREQ(f.gets(buf, sizeof buf), "0123456789\n");
    f.seek(11);
    EXPECT_EQ(f.read(buf, 1, 16), 4u);           // a short count at the end of the file, no exception
    EXPECT_EQ(f.gets(buf, sizeof buf), nullptr); // no line at the end of the file, no exception
    EXPECT_EQ(failure([&] { f.gets(buf, 0); }), error(EINVAL, dir.path("image.bin")));
    {
        File w(dir.path("w.txt").c_str(), "w");
        w.open();
        EXPECT_EQ(failure([&] { w.gets(buf, sizeof buf); }), error(EBADF, dir.path("w.txt")));
        EXPECT_EQ(w.write("abc", 1, 3), 3u);
    } // the destructor flushes and closes
    EXPECT_EQ(dir.text("w.txt"), "abc");
}

TEST(File, FailedCloseThrowsAndLeavesTheFileClosed)
{
    File f("/dev/full", "wb");
    if (failure([&] { f.open(); }) != "nothing thrown")
        GTEST_SKIP() << "/dev/full not available";
    ASSERT_EQ(f.write("x", 1, 1), 1u); // buffered; the flush in close fails
    EXPECT_EQ(failure([&] { f.close(); }), error(ENOSPC, "/dev/full"));
    EXPECT_NO_THROW(f.close());
}

TEST(File, OffsetsBeyondFourGigabytes)
{
    TempDir dir;
    const uint64_t far = (uint64_t(5) << 30) + 3;
    File f(dir.path("sparse.bin").c_str(), "wb+");
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
    EXPECT_EQ(failure([&] { f.seek(UINT64_MAX); }), error(EINVAL, dir.path("sparse.bin"))); // beyond any offset
}

} // namespace
