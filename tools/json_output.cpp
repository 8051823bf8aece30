#include "json_output.h"

#include <cstdio>

#include "command.h"
#include "zentrova/integrity/DfuHeader.h"

void JsonOutput::print()
{
    std::fputs(buffer.GetString(), stdout);
    std::fputc('\n', stdout);
}

// Length of the valid UTF-8 sequence at text[i], or 0.
static size_t utf8Sequence(const std::string& text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = byte(i + 1);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second > 0x8F))
        return 0; // overlong, surrogate or beyond U+10FFFF
    return length;
}

void JsonOutput::string(const std::string& text)
{
    std::string valid;
    for (size_t i = 0; i < text.size();) {
        const size_t n = utf8Sequence(text, i);
        valid += n ? text.substr(i, n) : "\xEF\xBF\xBD";
        i += n ? n : 1;
    }
    writer.String(valid.c_str(), static_cast<rapidjson::SizeType>(valid.size()));
}

void JsonOutput::mouse(const zentrova::MouseInfo& m)
{
    writer.StartObject();
    field("hand", handWord(m.hand));
    field("vendorId", unsigned{m.vendorId});
    field("productId", unsigned{m.productId});
    field("manufacturer", m.manufacturer);
    field("product", m.product);
    field("serialNumber", m.serialNumber);
    field("firmware", zentrova::formatBcdVersion(m.bcdDevice));
    field("bus", m.bus);
    field("address", m.address);
    field("deviceNode", m.deviceNode);
    writer.EndObject();
}
