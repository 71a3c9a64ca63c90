#include "mailbox.h"

#include <cstring>

namespace zolt {

void putText(unsigned char* mailbox, const char* text) {
    std::memcpy(mailbox + ZOLT_TEXT_OFFSET, text, ::strnlen(text, kMaxTextLength) + 1);
}

void takeText(const unsigned char* mailbox, TextBuffer& target) {
    const char* text = reinterpret_cast<const char*>(mailbox + ZOLT_TEXT_OFFSET);
    const std::size_t length = ::strnlen(text, kMaxTextLength);
    std::memcpy(target, text, length);
    target[length] = '\0';
}

}  // namespace zolt
