#include "object_names.h"

#include <cstring>

namespace zolt {

namespace {

void composeName(char (&target)[kObjectNameCapacity], const char* stem, std::size_t stemLength,
                 const char* suffix) {
    std::memcpy(target, stem, stemLength);
    std::memcpy(target + stemLength, suffix, 3);  // two letters and the NUL
}

}  // namespace

bool deriveObjectNames(const char* slavePath, char separator, ObjectNames& names) {
    if (slavePath == nullptr) return false;
    const std::size_t length = ::strnlen(slavePath, kMaxSlavePathLength + 1);
    if (length == 0 || length > kMaxSlavePathLength) return false;

    const char* fileName = slavePath;
    for (const char* p = slavePath; *p != '\0'; ++p) {
        if (*p == separator) fileName = p + 1;
    }
    const std::size_t fileNameLength = length - static_cast<std::size_t>(fileName - slavePath);
    if (fileNameLength == 0) return false;

    std::size_t stemLength = fileNameLength;
    for (std::size_t i = fileNameLength; i > 0; --i) {
        if (fileName[i - 1] == '.') {
            stemLength = i - 1;
            break;
        }
    }
    composeName(names.mailbox, fileName, stemLength, "SM");
    composeName(names.event, fileName, stemLength, "EM");
    return true;
}

}  // namespace zolt
