// The configurator loads the library with dlopen() and resolves its entry
// points by their bare names; nothing but the public interface, under the
// version node ZENTROVA_1.0, may be visible in the dynamic symbol table, and
// the library must unload on dlclose().
#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Every name a foreign runtime resolves without C++ name mangling.
const char* const kPlainNames[] = {
    "doPfg", "init", "deinit",
    "doPfu", "pfu_log",
    "getFwVersion", "testLib",
    "qv_crc8_compute", "qv_crc16_compute", "qv_crc32_compute",
    "aes256_set_key", "aes256_get_key", "aes256_set_iv", "aes256_get_iv",
    "aes256_encrypt", "aes256_decrypt", "aes256_encrypt_cbc", "aes256_decrypt_cbc",
    "dfu_decode_image",
    "g_version_tag", "g_version_bcd",
};

const char kVersionNode[] = "ZENTROVA_1.0";

// Each plain name resolves, also under its version; the version data and
// testLib answer through the pointers a configurator gets; the library
// unloads on dlclose() (no STB_GNU_UNIQUE object may pin it in memory).
TEST(ExportedSymbols, PlainNamesResolveAndTheLibraryUnloads)
{
    void* lib = dlopen(ZENTROVA_LIB_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char* name : kPlainNames) {
        void* bare = dlsym(lib, name);
        EXPECT_NE(bare, nullptr) << name << ": " << dlerror();
        EXPECT_EQ(dlvsym(lib, name, kVersionNode), bare) << name;
    }
    EXPECT_STREQ(*static_cast<const char* const*>(dlsym(lib, "g_version_tag")), "Zentrova Tool");
    EXPECT_EQ(*static_cast<const uint16_t*>(dlsym(lib, "g_version_bcd")), 0x03E8);
    auto testLib = reinterpret_cast<int (*)(int)>(dlsym(lib, "testLib"));
    EXPECT_EQ(testLib(41), 42);
    EXPECT_EQ(testLib(-1), 0);
    ASSERT_EQ(dlclose(lib), 0) << dlerror();
    void* again = dlopen(ZENTROVA_LIB_PATH, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(again, nullptr) << "still loaded after dlclose";
    if (again)
        dlclose(again);
}

std::string demangle(const std::string& name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), std::free);
    return status == 0 && out ? std::string(out.get()) : name;
}

struct DynamicSymbol {
    std::string name;    // mangled
    std::string version; // after "@@" or "@", empty when unversioned
};

// Defined names of the shared library's dynamic symbol table.
std::vector<DynamicSymbol> dynamicSymbols()
{
    std::string cmd = std::string("nm -D --defined-only --with-symbol-versions --format=posix '") + ZENTROVA_LIB_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::vector<DynamicSymbol> symbols;
    if (!pipe)
        return symbols;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::string s(line);
        s = s.substr(0, s.find(' '));
        const auto at = s.find('@');
        if (at == std::string::npos)
            symbols.push_back({s, ""});
        else
            symbols.push_back({s.substr(0, at), s.substr(s.find_first_not_of('@', at))});
    }
    return symbols;
}

// Whether a (mangled) dynamic symbol belongs to the public interface.
bool isPublic(const std::string& mangled)
{
    // AddressSanitizer's markers of exported globals.
    if (mangled.rfind("__odr_asan", 0) == 0)
        return true;
    for (const char* name : kPlainNames)
        if (mangled == name)
            return true;
    // Exported building blocks with C linkage.
    static const std::regex plainFunctions(
        R"(^(key_code_map|mouse_key_map|strcmpcase|get_hid_scan_code_by_unity_description|pccode_to_hidcode|)"
        R"(convert_unity_button_to_fw_button_index|check_profile|dfu_\w+)$)");
    if (std::regex_match(mangled, plainFunctions))
        return true;
    const std::string name = demangle(mangled);
    static const std::string classes =
        "zentrova::\\w+|UsbInterface|UsbDriver|UsbDeviceInfo|UsbException|UsbDescriptors|UsbConfigDescriptor|"
        "UsbInterfaceDescriptor|UsbEndpointDescriptor|UsbBulkOutEndpoint|UsbBulkInEndpoint|"
        "UsbInterruptInEndpoint|PbufPool|pbuf_t|ZentrovaDriver|ZentrovaException|CommandLineParser|"
        "CommandLineException|ArgumentParser|File|FileException|Socket|SocketException|PeerAddress";
    static const std::regex members("^(zentrova::|(" + classes + ")::).*");
    static const std::regex special("^((vtable|typeinfo|typeinfo name|VTT) for|(non-)?(virtual )?thunk to) ("
                                    "(" + classes + ")$|(" + classes + ")::.*)");
    static const std::regex functions(
        R"(^(opcode_\w+|throwUsbError|runtime_error|exit_success|dfu_encode_image)\(.*)");
    return std::regex_match(name, members) || std::regex_match(name, special) || std::regex_match(name, functions);
}

TEST(ExportedSymbols, DynamicSymbolTableHoldsExactlyTheVersionedInterface)
{
    const auto symbols = dynamicSymbols();
    ASSERT_FALSE(symbols.empty()) << "nm printed nothing for " << ZENTROVA_LIB_PATH;
    std::string leaked, unversioned;
    for (const auto& s : symbols) {
        if (s.name == kVersionNode)
            continue; // the version node's own definition
        if (!isPublic(s.name))
            leaked += "  " + demangle(s.name) + "\n";
        if (s.version != kVersionNode)
            unversioned += "  " + demangle(s.name) + " (" + s.version + ")\n";
    }
    EXPECT_TRUE(leaked.empty()) << "internal names in the dynamic symbol table:\n" << leaked;
    EXPECT_TRUE(unversioned.empty()) << "names outside " << kVersionNode << ":\n" << unversioned;
}

} // namespace
