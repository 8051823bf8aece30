// The profile loader's steps on an image already in memory.
#ifndef ZENTROVA_DEVICE_PROFILECHECK_H
#define ZENTROVA_DEVICE_PROFILECHECK_H

#include <cstddef>
#include <cstdint>

namespace zentrova {

// check_profile on a file of `fileSize` bytes whose first `size` bytes (all of
// them, or at least the header of a file too large for `bufferSize`) are at
// `bytes`: the same result, layout in `buffer` and pfu_log lines, without
// the file.
bool checkProfileBytes(void* buffer, unsigned long bufferSize, const uint8_t* bytes, size_t size,
                       uint64_t fileSize);

} // namespace zentrova

#endif
