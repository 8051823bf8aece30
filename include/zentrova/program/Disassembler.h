// Disassembler for the macro program bytecode.
//
// Decoding walks the buffer from its first byte and never reads outside
// [code, code + size). Each instruction becomes one entry; a byte that is no
// known opcode becomes a one-byte entry ".byte 0x7f", and an instruction cut
// short by the end of the buffer becomes one entry for all remaining bytes,
// e.g. ".byte 0x45, 0x01 ; truncated repeater_start". After an unknown byte
// decoding goes on with the next one, so garbage never breaks a listing.
//
// Instruction texts use the emitter names without "opcode_", with operands
// made readable:
//   key_press a                   key by the caller's KeyNamer (else 0xNN)
//   key_modifier_set leftcontrol|leftshift     modifier bits by key name
//   mouse_press left|middle       button bits: left right middle button3..6
//   mouse_scroll -1 (down)        jump 0x0102 (targets as hex offsets)
//   delay 1000                    set_led_ctrl 5, #223344 (24-bit RRGGBB)
//   repeater_start repeater=1 program=65 flag=0 delay=100..200 count=forever
//
// Key names come from the caller: the bytecode knows HID usages only, the
// profile layer knows their names (zentrova::hidKeyName in
// zentrova/profile/KeyNames.h).
#ifndef ZENTROVA_PROGRAM_DISASSEMBLER_H
#define ZENTROVA_PROGRAM_DISASSEMBLER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zentrova/export.h"

namespace zentrova {

struct DisassembledInstruction {
    size_t offset;     ///< from the start of the buffer
    size_t length;     ///< bytes this entry covers (at least 1)
    bool valid;        ///< false for unknown opcodes and truncated tails
    std::string text;  ///< "key_press a", ".byte 0x7f", ...
};

/// The name of a HID keyboard usage, or null when it has none (then shown
/// as 0xNN). A null KeyNamer names no key.
using KeyNamer = const char* (*)(uint8_t hidCode);

/// Decodes the whole buffer; entries cover it without gaps. A null code with
/// size 0 gives an empty result (null with a non-zero size is treated as empty).
ZENTROVA_API std::vector<DisassembledInstruction> disassembleInstructions(const uint8_t* code, size_t size,
                                                                          KeyNamer keyName = nullptr);

/// One listing line per entry: offset (4 hex digits), raw bytes, text, e.g.
/// "0001  43 04                          key_press a".
ZENTROVA_API std::vector<std::string> disassemble(const uint8_t* code, size_t size, KeyNamer keyName = nullptr);

} // namespace zentrova

#endif
