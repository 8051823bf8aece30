#include "zentrova/profile/KeyNames.h"

#include "zentrova/profile/key_tables.h"

namespace zentrova {

const char* hidKeyName(uint8_t hidCode)
{
    for (const key_code_map_t& row : key_code_map)
        if (row.hid_code == hidCode)
            return row.name;
    return nullptr;
}

} // namespace zentrova
