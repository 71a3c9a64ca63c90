// The reply copy out of a mailbox whose text area holds anything a slave
// may leave there: takeText must stop at the first NUL or after 1023
// bytes, terminate its copy, and read nothing past the mailbox.
// putText must carry the copy back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "mailbox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Exactly the mailbox's size on the heap, so a read past it is caught.
    // Short inputs are padded with their last byte: a non-zero one leaves a
    // text area without any NUL.
    const std::unique_ptr<unsigned char[]> mailbox(new unsigned char[zolt::kMailboxSize]);
    for (std::size_t i = 0; i < zolt::kMailboxSize; ++i) mailbox[i] = i < size ? data[i] : data[size - 1];
    unsigned char before[zolt::kMailboxSize];
    std::memcpy(before, mailbox.get(), sizeof before);

    char reply[zolt::kTextCapacity];
    std::memset(reply, 0x5a, sizeof reply);
    zolt::takeText(mailbox.get(), reply);

    const char* text = reinterpret_cast<const char*>(mailbox.get() + 1);
    std::size_t expected = 0;
    while (expected < zolt::kMaxTextLength && text[expected] != '\0') ++expected;
    FUZZ_CHECK(::strnlen(reply, sizeof reply) == expected);
    FUZZ_CHECK(std::memcmp(reply, text, expected) == 0);
    FUZZ_CHECK(std::memcmp(before, mailbox.get(), sizeof before) == 0);

    // Back into a second mailbox: the state byte stays, the text arrives whole.
    const std::unique_ptr<unsigned char[]> other(new unsigned char[zolt::kMailboxSize]);
    std::memset(other.get(), 0xa5, zolt::kMailboxSize);
    zolt::putText(other.get(), reply);
    FUZZ_CHECK(other[0] == 0xa5);
    FUZZ_CHECK(std::memcmp(other.get() + 1, reply, expected + 1) == 0);
    return 0;
}
