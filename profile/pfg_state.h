// Process-wide state of the profile generator.
//
// One generation runs on this state: the JSON reader leaves the header
// values here, the key-binding compiler appends program records to `image`
// and counts them, and the generator fills the image header from these
// fields at the end. doPfg keeps its state from one call to the next (the
// DPI table, freeform DPI and joystick mode carry over); the compiler API
// runs each call on a fresh state of its own (see generator.h).
#ifndef ZENTROVA_PROFILE_PFG_STATE_H
#define ZENTROVA_PROFILE_PFG_STATE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "profile/pfg_log.h"
#include "zentrova/profile/ProfileImage.h"

/// One macro step, as the configurator stores it.
struct ST_MACRO_DATA {
    int32_t type;          ///< 0 press, 1 release, 2 scroll, 3 delay
    int32_t scroll_angle;  ///< wheel steps (low 8 bits, signed) for type 2
    int32_t key_code;      ///< Unity KeyCode number; 323..329 are mouse buttons
    int32_t duration;      ///< delay for type 3
};

/// One macro of the profile being compiled.
struct ST_MACRO {
    int32_t macro_id;
    char macro_name[64];   ///< NUL-terminated
    std::vector<ST_MACRO_DATA> steps;
};

/// Header of one program record as written in front of its bytecode.
struct pfg_program_header_t {
    uint8_t index;
    uint8_t reserved;
    uint16_t size;
};

/// Where in the JSON document the binding under compilation lies.
struct pfg_binding_where_t {
    long hand = -1;     ///< index in "testData"
    long profile = -1;  ///< index in that entry's "profiles"
    long binding = -1;  ///< index in that profile's "_key_data", -1 outside a binding
};

struct PfgNotes;

/// Standard output as a sink.
PfgLogSink* pfg_stdout_sink();

struct pfg_state_t {
    PfgLogSink* log = nullptr;           ///< the generation's log, or none
    PfgLogSink* progress = pfg_stdout_sink(); ///< progress lines ("Name: ...", "profile_name: ...")
    zentrova::ProfileImage image;        ///< records written so far (the header is filled at the end)
    uint16_t program_count = 0;          ///< records written so far
    bool program_count_overflow = false; ///< more than 65535 records were written
    pfg_program_header_t program_header{};
    uint32_t next_macro_program = 65;    ///< index for the next shared program, 65..80; 81 when all are taken
    uint16_t ctrl_deadzone = 0;
    uint16_t dpi_table[6] = {};          ///< kept between generations
    uint16_t freeform_dpi = 0;           ///< kept between generations
    bool freeform_center_joystick_mode = false; ///< kept between generations
    std::vector<ST_MACRO> macros;
    /// Positions in `macros` by macro id, in list order; covers the first
    /// `macros_indexed` macros and is extended on lookup.
    std::unordered_map<int32_t, std::vector<size_t>> macro_index;
    size_t macros_indexed = 0;

    // What the compiler API needs to turn "[ERROR]" lines into diagnostics.
    size_t hand_entries = 0;             ///< hand entries selected
    size_t profiles_compiled = 0;        ///< profiles compiled
    pfg_binding_where_t where;
    std::optional<std::string> error_pointer; ///< JSON pointer of the next error line's value
    std::optional<size_t> error_offset;       ///< text offset of the next error line (parse errors)
    PfgNotes* notes = nullptr;                ///< findings beyond the log (compile_notes.h), or none
};

/// The generator's one instance.
extern pfg_state_t pfg_state;

/// Resets the per-generation fields, as init() does after opening the log.
void pfg_reset_generation();

/// The positions in pfg_state.macros of the macros with id `id`, in list order.
const std::vector<size_t>* pfg_find_macros(int32_t id);

/// First and last program index handed out for macro bodies and key-repeater strokes.
constexpr uint32_t kFirstSharedProgram = 65;
constexpr uint32_t kLastSharedProgram = 80;

#endif
