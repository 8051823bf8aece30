#include "device/DfuHeader.h"

#include <optional>

#include "zentrova/integrity/DfuHeader.h"

namespace zentrova {

bool dfuHeaderAcceptable(const uint8_t* image, size_t size)
{
    const std::optional<DfuHeader> header = DfuHeader::read(image, size);
    return header && header->crcMatches(image, size) && header->tagIs("ZENTROVA") && header->imageSize() == size &&
           header->valid(size) && header->version2 == 0x0100;
}

} // namespace zentrova
