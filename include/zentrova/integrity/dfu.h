// Decoder of encrypted DFU firmware images.
//
// Image layout (all fields little-endian):
//
//   offset  0   4 bytes  CRC-32 (qv_crc32_compute, seed 0) over bytes 4 .. 20 + payload_length - 1
//   offset  4   8 bytes  product tag, ASCII without terminator ("ZENTROVA" for this mouse)
//   offset 12   2 bytes  version1, four BCD digits
//   offset 14   2 bytes  version2, four BCD digits
//   offset 16   4 bytes  payload_length: bytes from offset 20 to the end of the payload
//   offset 20  32 bytes  check block          \  one AES-256-CBC stream under the shared key,
//   offset 52  ...       segments             /  decrypted in file order with one chain
//
// Decrypted check block: bytes 16..19 repeat payload_length, bytes 20..23 hold
// the CRC-32 of header bytes 4..19; the rest is not interpreted. A segment is a
// 16-byte header ("QVCS", target address, data length -- nonzero and a multiple
// of 16 --, CRC-32 of the decrypted data) followed by its data. The segments
// fill the payload exactly; bytes behind the payload are ignored.
//
// dfu_encode_image (dfu_image_writer.h) builds such images.
#ifndef ZENTROVA_INTEGRITY_DFU_H
#define ZENTROVA_INTEGRITY_DFU_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#endif

#include "zentrova/export.h"

enum {
    DFU_HEADER_SIZE = 20,         // plain header in front of the payload
    DFU_CHECK_BLOCK_SIZE = 32,    // first part of the payload
    DFU_SEGMENT_HEADER_SIZE = 16, // in front of every segment's data
};

// What the caller hands to dfu_decode_image. The caller owns every buffer.
typedef struct dfu_image_ctx_t {
    const uint8_t* image;  // the whole image in memory; only read
    const uint8_t* key;    // 32-byte AES-256 key
    const char* tag;       // product tag the image must carry (compared like strncmp over 8 bytes)
    uint32_t image_size;   // bytes at image
    uint32_t region_start; // lowest target address a segment may use
    uint32_t region_size;  // size of the allowed target range
    uint8_t* work_buffer;  // scratch of at least max(32, chunk_size) bytes
    uint64_t chunk_size;   // most data bytes decrypted and handed over at once; nonzero multiple of 16
} dfu_image_ctx_t;

// Receives one decrypted chunk: the target address of its first byte, the bytes
// (inside work_buffer, valid until the callback returns) and their count.
// Returning false stops the decoding. A chunk is delivered before its segment's
// CRC has been checked: a later false result may follow delivered data.
typedef bool (*dfu_write_fn)(uint32_t address, uint8_t* data, size_t size);

ZENTROVA_EXTERN_C_BEGIN

// Checks the image and decrypts it segment by segment, chunk by chunk, into
// work_buffer, handing every chunk to `write` (which may be null: the call then
// only verifies). True when the whole image is valid and every callback
// returned true. Never throws, allocates nothing, and reads nothing outside
// [image, image + image_size). Every byte of every accepted segment lies in
// [region_start, region_start + region_size) without wrapping past 2^32.
// A context with a null pointer, or a chunk_size that is zero or not a multiple
// of 16, is refused with false. work_buffer holds decrypted data afterwards,
// whatever the result.
ZENTROVA_API bool dfu_decode_image(dfu_image_ctx_t* ctx, dfu_write_fn write);

ZENTROVA_EXTERN_C_END

#endif
