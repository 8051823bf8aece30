// Reading a whole file into memory for the tool's commands.
#ifndef ZENTROVA_TOOL_FILE_IO_H
#define ZENTROVA_TOOL_FILE_IO_H

#include <cstdint>
#include <string>
#include <vector>

/// Reads a whole file through the library's File class. Throws
/// std::runtime_error with the path and the reason when it cannot, or when
/// the file holds more than `maxSize` bytes.
std::vector<uint8_t> readWholeFile(const std::string& path, int64_t maxSize);

#endif
