// Reading and writing whole files for the tool's commands.
#ifndef ZENTROVA_TOOL_FILE_IO_H
#define ZENTROVA_TOOL_FILE_IO_H

#include <cstdint>
#include <string>
#include <vector>

/// Reads a whole file through the library's File class. Throws a
/// ToolFailure with the path and the reason when it cannot (UnreadableFile),
/// or when the file holds more than `maxSize` bytes (InvalidFile).
std::vector<uint8_t> readWholeFile(const std::string& path, int64_t maxSize);

/// Writes `bytes` to `path` beside it first, then renames the file into
/// place, so a failed run never leaves a partial file there; "-" writes
/// them to standard output. Throws a ToolFailure (Unexpected) when it cannot.
void storeFile(const std::string& path, const std::vector<uint8_t>& bytes);

#endif
