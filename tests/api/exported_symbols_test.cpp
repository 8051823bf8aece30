// The configurator loads the library with dlopen() and resolves its entry
// points by their bare names; nothing but the public interface may be visible
// in the dynamic symbol table.
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
    "doPfg", "init", "deinit", "doPfu", "pfu_log", "getFwVersion", "testLib",
    "qv_crc8_compute", "qv_crc16_compute", "qv_crc32_compute", "dfu_decode_image",
    "aes256_set_key", "aes256_get_key", "aes256_set_iv", "aes256_get_iv",
    "aes256_encrypt", "aes256_decrypt", "aes256_encrypt_cbc", "aes256_decrypt_cbc",
    "g_version_tag", "g_version_bcd",
};

// Every plain name resolves; the version data and testLib answer through it.
TEST(ExportedSymbols, PlainNamesResolveThroughDlsym)
{
    std::unique_ptr<void, int (*)(void*)> lib(dlopen(ZENTROVA_LIB_PATH, RTLD_NOW | RTLD_LOCAL), dlclose);
    ASSERT_TRUE(lib) << dlerror();
    for (const char* name : kPlainNames)
        EXPECT_NE(dlsym(lib.get(), name), nullptr) << name << ": " << dlerror();
    auto tag = static_cast<const char* const*>(dlsym(lib.get(), "g_version_tag"));
    auto bcd = static_cast<const uint16_t*>(dlsym(lib.get(), "g_version_bcd"));
    auto testLib = reinterpret_cast<int (*)(int)>(dlsym(lib.get(), "testLib"));
    ASSERT_TRUE(tag && bcd && testLib);
    EXPECT_STREQ(*tag, "Zentrova Tool");
    EXPECT_EQ(*bcd, 0x03E8);
    EXPECT_EQ(testLib(41), 42);
    EXPECT_EQ(testLib(-1), 0);
}

std::string demangle(const std::string& name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), std::free);
    return status == 0 && out ? std::string(out.get()) : name;
}

// Defined names of the shared library's dynamic symbol table.
std::vector<std::string> dynamicSymbols()
{
    std::string cmd = std::string("nm -D --defined-only --format=posix '") + ZENTROVA_LIB_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::vector<std::string> names;
    char line[4096];
    while (pipe && std::fgets(line, sizeof line, pipe.get()))
        names.emplace_back(line, std::strcspn(line, " "));
    return names;
}

// Whether a (mangled) dynamic symbol belongs to the public interface.
bool isPublic(const std::string& mangled)
{
    // Linker-defined markers, AddressSanitizer's markers of exported globals,
    // and instantiations of the standard library's templates (with their
    // local statics), which carry default visibility from its own headers.
    static const std::regex linkerOrStd(
        R"(^(_edata|_end|__bss_start|_init|_fini)$|^__odr_asan[._].*|^_ZZ?(N|NK|TV|TI|TS|TT|Th|Tv)?(St|Sa|Ss|N?St|NSt|N9__gnu_cxx|9__gnu_cxx).*)");
    if (std::regex_match(mangled, linkerOrStd))
        return true;
    for (const char* name : kPlainNames)
        if (mangled == name)
            return true;
    const std::string name = demangle(mangled);
    static const std::string classes =
        "UsbInterface|UsbDriver|UsbDeviceInfo|UsbException|UsbDescriptors|UsbConfigDescriptor|"
        "UsbInterfaceDescriptor|UsbEndpointDescriptor|UsbBulkOutEndpoint|UsbBulkInEndpoint|"
        "UsbInterruptInEndpoint|PbufPool|pbuf_t|ZentrovaDriver|ZentrovaException|CommandLineParser|"
        "CommandLineException|ArgumentParser|File|FileException|Socket|SocketException|PeerAddress|"
        "zentrova::Session|zentrova::ProfileImage|zentrova::ProfileImageError";
    static const std::regex members("^(" + classes + ")(<[^>]*>)?::.*");
    static const std::regex special("^((construction vtable|vtable|typeinfo|typeinfo name|VTT) for|(virtual )?thunk to) ("
                                    "(" + classes + ")\\b.*|" "(" + classes + ")::.*)");
    static const std::regex functions(
        R"(^(\w+ )?(zentrova::(causeName|listMice|selectMouse)|)"
        R"(opcode_\w+|throwUsbError|runtime_error|exit_success|key_code_map|mouse_key_map|)"
        R"(strcmpcase|get_hid_scan_code_by_unity_description|pccode_to_hidcode|)"
        R"(convert_unity_button_to_fw_button_index|check_profile|dfu_\w+|pfu_log|pfg_state|g_pfg_state|)"
        R"(zentrova::(DfuHeader::\w+|isBcd|decodeBcdVersion|bcdVersionValue|formatBcdVersion))\b.*)");
    // The C++ core API.
    static const std::regex core(
        R"(^zentrova::(compileProfile|compileProfileFile|disassemble\w*|hidKeyName)(\[abi:cxx11\])?\(.*)");
    return std::regex_match(name, members) || std::regex_match(name, special) || std::regex_match(name, functions) ||
           std::regex_match(name, core);
}

TEST(ExportedSymbols, NoInternalNameInDynamicSymbolTable)
{
    const auto symbols = dynamicSymbols();
    ASSERT_FALSE(symbols.empty()) << "nm printed nothing for " << ZENTROVA_LIB_PATH;
    std::string leaked;
    for (const auto& s : symbols)
        if (!isPublic(s))
            leaked += "  " + demangle(s) + "\n";
    EXPECT_EQ(leaked, "") << "internal names in the dynamic symbol table";
}

} // namespace
