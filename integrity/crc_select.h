// Choice between the implementations of the CRC functions, and the plain
// one-lookup-per-byte form they all must agree with (kept for tests and
// benchmarks). The CRCs run on carry-less multiplication where the CPU has it
// (x86-64 PCLMULQDQ), otherwise on slicing-by-16 tables.
#ifndef ZENTROVA_INTEGRITY_CRC_SELECT_H
#define ZENTROVA_INTEGRITY_CRC_SELECT_H

#include <cstdint>

// True when the CPU has carry-less multiplication that this build can use.
bool crc_clmul_available();

// With true, every later qv_crc*_compute uses the table code (for tests and
// benchmarks); false returns to the automatic choice. Process-wide.
void crc_tables_only(bool tablesOnly);

// One table lookup per byte: same arguments and results as qv_crc*_compute.
uint8_t crc8_bytewise(const void* data, uint64_t length, uint8_t seed);
uint16_t crc16_bytewise(const void* data, uint64_t length, uint16_t seed);
uint32_t crc32_bytewise(const void* data, uint64_t length, uint32_t seed);

#endif
