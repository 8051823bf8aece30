#include "profile/generator.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "profile/pfg_log.h"
#include "profile/process_profile.h"

namespace {

// doPfg's progress lines. The log's lines so far are in pfg.log before a
// progress line can be seen.
class StdoutSink : public PfgLogSink {
public:
    void write(const char* text, size_t length) override
    {
        pfg_log_sync();
        std::fwrite(text, 1, length, stdout);
    }
    void flush() override { std::fflush(stdout); }
};

} // namespace

PfgLogSink* pfg_stdout_sink()
{
    static StdoutSink sink;
    return &sink;
}

pfg_state_t pfg_state;

std::mutex& pfg_generation_mutex()
{
    static std::mutex mutex;
    return mutex;
}

void pfg_reset_generation()
{
    pfg_state.image = zentrova::ProfileImage{};
    pfg_state.program_count = 0;
    pfg_state.program_count_overflow = false;
    pfg_state.program_header = {};
    pfg_state.next_macro_program = kFirstSharedProgram;
    pfg_state.ctrl_deadzone = 0;
    pfg_state.macros.clear();
    pfg_state.macros.shrink_to_fit();
    pfg_state.macro_index.clear();
    pfg_state.macros_indexed = 0;
    pfg_state.hand_entries = 0;
    pfg_state.profiles_compiled = 0;
    pfg_state.where = pfg_binding_where_t{};
    pfg_state.error_pointer.reset();
    pfg_state.error_offset.reset();
}

const std::vector<size_t>* pfg_find_macros(int32_t id)
{
    for (; pfg_state.macros_indexed < pfg_state.macros.size(); ++pfg_state.macros_indexed) {
        const size_t at = pfg_state.macros_indexed;
        pfg_state.macro_index[pfg_state.macros[at].macro_id].push_back(at);
    }
    const auto found = pfg_state.macro_index.find(id);
    return found == pfg_state.macro_index.end() ? nullptr : &found->second;
}

bool pfg_check_name(const char* profileName)
{
    constexpr size_t kMax = zentrova::ProfileImage::kMaxNameLength;
    if (profileName == nullptr) {
        pfg_log_line("%-16s no profile name given\n", PFG_TAG_ERROR);
        return false;
    }
    if (std::strlen(profileName) > kMax) {
        pfg_log_line("%-16s profile name '%s' is longer than %zu characters\n", PFG_TAG_ERROR, profileName, kMax);
        return false;
    }
    return true;
}

std::optional<zentrova::ProfileImage> pfg_build(const char* jsonFile, const std::string* jsonText, int rightHand,
                                                const char* profileName)
{
    const char* handName = rightHand != 0 ? "Right Mouse" : "Left Mouse";
    const bool compiled = jsonText != nullptr ? processProfileText(*jsonText, jsonFile, handName, profileName)
                                              : processProfile(jsonFile, handName, profileName);
    if (!compiled)
        return std::nullopt;
    if (pfg_state.program_count_overflow) {
        pfg_log_line("%-16s the profile needs more than 65535 programs\n", PFG_TAG_ERROR);
        return std::nullopt;
    }

    zentrova::ProfileImage image = std::move(pfg_state.image);
    pfg_state.image = zentrova::ProfileImage{};
    image.name = profileName;
    image.deadZone = pfg_state.ctrl_deadzone;
    std::copy(std::begin(pfg_state.dpi_table), std::end(pfg_state.dpi_table), image.dpi.begin());
    image.freeformDpi = pfg_state.freeform_dpi;
    pfg_log_line("Writing program count %ld\n", static_cast<long>(pfg_state.program_count));
    pfg_log_line("Writing ctrl_deadzone %ld\n", static_cast<long>(pfg_state.ctrl_deadzone));
    const uint16_t* t = pfg_state.dpi_table;
    pfg_log_line("Writing dpi table %d %d %d %d %d %d\n", t[0], t[1], t[2], t[3], t[4], t[5]);
    pfg_log_line("Writing freeform dpi %d\n", pfg_state.freeform_dpi);
    return image;
}

void pfg_log_image(const std::vector<uint8_t>& bytes)
{
    pfg_log_line("file size is %ld\n", static_cast<long>(bytes.size()));
    pfg_log_line("read size is %d\n", static_cast<int>(bytes.size()));
    pfg_log_line("crc is %0x\n", zentrova::ProfileImage::crcField(bytes.data()));
}

FreshGeneratorState::FreshGeneratorState()
    : savedState_(std::exchange(pfg_state, pfg_state_t{})),
      savedParams_(std::exchange(action_params, action_params_t{}))
{
}

FreshGeneratorState::~FreshGeneratorState()
{
    pfg_state = std::move(savedState_);
    action_params = savedParams_;
}
