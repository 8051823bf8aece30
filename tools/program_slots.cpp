#include "program_slots.h"

#include "zentrova/profile/key_tables.h"

namespace {

// The configurator's number for a firmware button index, for the reader who
// knows the buttons by the configurator's numbering; 0 when it has none.
int configuratorButton(uint8_t firmwareIndex)
{
    for (const auto& row : mouse_key_map) {
        if (row.fw_button == firmwareIndex)
            return row.unity_button;
    }
    return 0;
}

std::string withConfiguratorNumber(const std::string& text, uint8_t firmwareIndex)
{
    const int number = configuratorButton(firmwareIndex);
    return number ? text + " (configurator button " + std::to_string(number) + ")" : text;
}

} // namespace

std::string describeProgramSlot(uint8_t index)
{
    if (index <= 45) {
        const uint8_t button = index / 2;
        return withConfiguratorNumber("button " + std::to_string(button), button) +
               ((index & 1) ? " release" : " press");
    }
    if (index == 48 || index == 49)
        return withConfiguratorNumber("further input " + std::to_string(index), index) + " (single program)";
    if (index >= 50 && index <= 57) {
        const uint8_t input = index & ~1u;
        return withConfiguratorNumber("further input " + std::to_string(input), input) +
               ((index & 1) ? " release" : " press");
    }
    if (index >= 65 && index <= 80)
        return "shared slot " + std::to_string(index) + " (macro body or key-repeater stroke)";
    return "unassigned index " + std::to_string(index);
}
