// The configurator loads the library with dlopen() and resolves its entry
// points by their bare names; nothing but the public interface may be visible.
#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

struct DlCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, DlCloser>;

Library openLibrary()
{
    Library lib(dlopen(ZENTROVA_LIB_PATH, RTLD_NOW | RTLD_LOCAL));
    EXPECT_TRUE(lib) << dlerror();
    return lib;
}

TEST(ExportedSymbols, VersionDataReadsThroughDlsym)
{
    Library lib = openLibrary();
    ASSERT_TRUE(lib);
    auto tag = static_cast<const char* const*>(dlsym(lib.get(), "g_version_tag"));
    auto bcd = static_cast<const uint16_t*>(dlsym(lib.get(), "g_version_bcd"));
    ASSERT_NE(tag, nullptr);
    ASSERT_NE(bcd, nullptr);
    EXPECT_STREQ(*tag, "Zentrova Tool");
    EXPECT_EQ(*bcd, 0x03E8);
}

} // namespace
