// Choice between the two implementations of the AES-256 functions: the
// processor's AES instructions where the CPU has them (x86-64), otherwise the
// portable table code. Both compute the same results; tests run both.
#ifndef ZENTROVA_INTEGRITY_AES256_SELECT_H
#define ZENTROVA_INTEGRITY_AES256_SELECT_H

// True when the CPU has AES instructions that this build can use.
bool aes256_hardware_available();

// With true, every later AES-256 call uses the portable code (for tests and
// benchmarks); false returns to the automatic choice. Process-wide.
void aes256_portable_only(bool portableOnly);

#endif
