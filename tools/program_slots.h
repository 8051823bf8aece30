// What a program index of a profile image stands for on the mouse.
#ifndef ZENTROVA_TOOL_PROGRAM_SLOTS_H
#define ZENTROVA_TOOL_PROGRAM_SLOTS_H

#include <cstdint>
#include <string>

/// The input a program index belongs to, for people:
///   0..45   physical button b = index / 2, press (even) or release (odd)
///   48..57  further inputs 48, 49 (press only) and 50, 52, 54, 56 (press,
///           release at the next index)
///   65..80  shared slots of macro bodies and key-repeater strokes
/// Other indices are not assigned by the profile compiler.
std::string describeProgramSlot(uint8_t index);

#endif
