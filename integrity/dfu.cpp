// DFU image decoder: verifies the plain header, proves the key with the check
// block, then decrypts segment by segment in chunks of at most chunk_size bytes
// into the caller's work buffer, continuing one CBC chain over the payload.
#include "zentrova/integrity/dfu.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "integrity/wiped_aes.h"
#include "util/byte_order.h"
#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/crc.h"

namespace {

using zentrova::DfuHeader;
using zentrova::getLe32;

constexpr uint64_t kAddressSpace = uint64_t{1} << 32;

static_assert(DfuHeader::kSize == DFU_HEADER_SIZE && DfuHeader::kCheckBlockSize == DFU_CHECK_BLOCK_SIZE, "layout");

// Every byte of [address, address + length) lies in the region, computed
// without wrap-around: neither the segment nor the region may reach past the
// 32-bit address space.
bool insideRegion(const dfu_image_ctx_t& ctx, uint32_t address, uint32_t length)
{
    const uint64_t regionEnd = std::min<uint64_t>(uint64_t{ctx.region_start} + ctx.region_size, kAddressSpace);
    return address >= ctx.region_start && uint64_t{address} + length <= regionEnd;
}

bool decode(const dfu_image_ctx_t& ctx, dfu_write_fn write)
{
    const uint8_t* const image = ctx.image;
    uint8_t* const work = ctx.work_buffer;
    const std::optional<DfuHeader> header = DfuHeader::parse(image, ctx.image_size);
    if (!header || !header->tagIs(ctx.tag) || !header->crcMatches(image, header->imageSize()))
        return false;
    const uint32_t payloadLength = header->payloadLength;

    // Any IV: only the check block's second half is used.
    zentrova::WipedAesContext cipher(ctx.key);
    aes256_ctx_t* const aes = cipher.get();
    std::memcpy(work, image + DFU_HEADER_SIZE, DFU_CHECK_BLOCK_SIZE);
    aes256_decrypt_cbc(aes, work, DFU_CHECK_BLOCK_SIZE);
    if (getLe32(work + 20) != header->headerCrc() || getLe32(work + 16) != payloadLength)
        return false; // wrong key, or a header changed after the image was made

    const uint8_t* p = image + DFU_HEADER_SIZE + DFU_CHECK_BLOCK_SIZE;
    const uint8_t* const end = image + DFU_HEADER_SIZE + payloadLength;
    uint64_t remaining = payloadLength - DFU_CHECK_BLOCK_SIZE;
    while (p < end) {
        if (remaining < DFU_SEGMENT_HEADER_SIZE)
            return false;
        std::memcpy(work, p, DFU_SEGMENT_HEADER_SIZE);
        p += DFU_SEGMENT_HEADER_SIZE;
        remaining -= DFU_SEGMENT_HEADER_SIZE;
        aes256_decrypt_cbc(aes, work, DFU_SEGMENT_HEADER_SIZE);

        uint32_t address = getLe32(work + 4);
        const uint32_t length = getLe32(work + 8);
        const uint32_t segmentCrc = getLe32(work + 12);
        if (std::memcmp(work, "QVCS", 4) != 0 || length == 0)
            return false;
        if (!insideRegion(ctx, address, length))
            return false;
        if (length > remaining || (length & 0xF) != 0)
            return false;

        uint32_t crc = 0;
        for (uint32_t left = length; left != 0;) {
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(left, ctx.chunk_size));
            std::memcpy(work, p, n);
            p += n;
            remaining -= n;
            left -= n;
            aes256_decrypt_cbc(aes, work, n);
            crc = qv_crc32_compute(work, n, crc); // while the chunk is in cache, before the callback sees it
            if (write && !write(address, work, n))
                return false;
            address += n; // at most 2^32 after the last chunk, never used then
        }
        if (crc != segmentCrc)
            return false;
    }
    return remaining == 0;
}

} // namespace

extern "C" ZENTROVA_API bool dfu_decode_image(dfu_image_ctx_t* ctx, dfu_write_fn write)
{
    // The context's own preconditions are cheap to check and would otherwise
    // mean an endless loop (chunk_size 0) or a partial block.
    if (!ctx || !ctx->image || !ctx->key || !ctx->tag || !ctx->work_buffer)
        return false;
    if (ctx->chunk_size == 0 || (ctx->chunk_size & 0xF) != 0)
        return false;
    return decode(*ctx, write);
}
