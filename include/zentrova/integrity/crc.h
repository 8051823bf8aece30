// Table-driven CRC-8, CRC-16 and CRC-32 over byte buffers.
//
// Each function takes a seed so that a checksum can be computed over several
// buffers in turn: the result over one piece is the seed for the next.
//
//   qv_crc8_compute   CRC-8/MAXIM-DOW (poly 0x31, reflected, no final xor);
//                     seed 0 gives the standard value ("123456789" -> 0xA1).
//   qv_crc16_compute  CRC-16/KERMIT (poly 0x1021, reflected, no final xor);
//                     seed 0 -> 0x2189, seed 0xFFFF gives CRC-16/MCRF4XX (0x6F91).
//   qv_crc32_compute  CRC-32/ISO-HDLC, the CRC-32 of zlib, Ethernet and PNG
//                     (poly 0x04C11DB7, reflected, init and final xor
//                     0xFFFFFFFF); seed 0 -> 0xCBF43926. The complement is
//                     applied on entry and on exit, so
//                     crc32(B, crc32(A, 0)) == crc32(A followed by B).
//
// A length of 0 returns the seed and never reads through the pointer (which
// may then be null). The functions keep no state, never allocate and never
// fail. C linkage: they resolve by their plain names with dlsym().
#ifndef ZENTROVA_INTEGRITY_CRC_H
#define ZENTROVA_INTEGRITY_CRC_H

#include <stdint.h>

#include "zentrova/export.h"

ZENTROVA_EXTERN_C_BEGIN

ZENTROVA_API uint8_t qv_crc8_compute(const void* data, uint64_t length, uint8_t seed);
ZENTROVA_API uint16_t qv_crc16_compute(const void* data, uint64_t length, uint16_t seed);
ZENTROVA_API uint32_t qv_crc32_compute(const void* data, uint64_t length, uint32_t seed);

ZENTROVA_EXTERN_C_END

#endif
