// Process-wide state of the profile generator.
//
// One generation (one doPfg call) runs from init() to deinit(). The JSON
// reader leaves the header values here, the key-binding compiler appends
// program records to pfg_out and counts them, and doPfg patches the header
// from these fields at the end. The state is unguarded: generations must not
// overlap within one process.
#ifndef ZENTROVA_PROFILE_PFG_STATE_H
#define ZENTROVA_PROFILE_PFG_STATE_H

#include <cstdint>
#include <cstdio>
#include <vector>

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

struct pfg_state_t {
    FILE* pfg_log = nullptr;             ///< "pfg.log", open during a generation
    FILE* pfg_out = nullptr;             ///< the profile image being written
    uint16_t program_count = 0;          ///< records written so far
    bool program_count_overflow = false; ///< more than 65535 records were written
    pfg_program_header_t program_header{};
    uint32_t next_macro_program = 65;    ///< index for the next shared program, 65..80
    uint16_t ctrl_deadzone = 0;
    uint16_t dpi_table[6] = {};          ///< kept between generations
    uint16_t freeform_dpi = 0;           ///< kept between generations
    bool freeform_center_joystick_mode = false; ///< kept between generations
    std::vector<ST_MACRO> macros;
};

/// The generator's one instance.
extern pfg_state_t pfg_state;

/// Resets the per-generation fields, as init() does after opening the log.
void pfg_reset_generation();

/// First and last program index handed out for macro bodies and key-repeater strokes.
constexpr uint32_t kFirstSharedProgram = 65;
constexpr uint32_t kLastSharedProgram = 80;

#endif
