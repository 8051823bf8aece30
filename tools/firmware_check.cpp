#include "firmware_check.h"

#include "zentrova/integrity/DfuHeader.h"

int compareFirmware(uint16_t a, uint16_t b)
{
    const zentrova::BcdVersion x = zentrova::decodeBcdVersion(a), y = zentrova::decodeBcdVersion(b);
    if (x.major != y.major)
        return x.major < y.major ? -1 : 1;
    return x.minor == y.minor ? 0 : x.minor < y.minor ? -1 : 1;
}
