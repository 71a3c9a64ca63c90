// deriveObjectNames on any path: the first byte picks the separator, the
// rest is the path (a NUL in it ends it early, as in C). The result must
// match a plain string model of the naming rule, and nothing may be read
// past the path's terminator.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "object_names.h"

namespace {

// The rule in the README's words: the file name is the text after the last
// separator, the stem the file name up to its last period.
bool modelStem(std::string_view path, char separator, std::string& stem) {
    if (path.empty() || path.size() > zolt::kMaxSlavePathLength) return false;
    const std::size_t slash = path.rfind(separator);
    const std::string_view fileName = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (fileName.empty()) return false;
    stem = fileName.substr(0, std::min(fileName.rfind('.'), fileName.size()));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        zolt::ObjectNames names{};
        FUZZ_CHECK(!zolt::deriveObjectNames(nullptr, '/', names));
        return 0;
    }
    const char separator = (data[0] & 1) != 0 ? '\\' : '/';
    // Exactly as long as the input, so any read past the terminator is caught.
    const std::size_t length = size - 1;
    const std::unique_ptr<char[]> path(new char[length + 1]);
    std::memcpy(path.get(), data + 1, length);
    path[length] = '\0';

    zolt::ObjectNames names;
    std::memset(&names, 0x5a, sizeof names);
    std::string stem;
    const bool expected = modelStem(std::string_view(path.get()), separator, stem);
    FUZZ_CHECK(zolt::deriveObjectNames(path.get(), separator, names) == expected);
    if (expected) {
        FUZZ_CHECK(stem + "SM" == std::string_view(names.mailbox, ::strnlen(names.mailbox, sizeof names.mailbox)));
        FUZZ_CHECK(stem + "EM" == std::string_view(names.event, ::strnlen(names.event, sizeof names.event)));
        FUZZ_CHECK(stem.find(separator) == std::string::npos);
    }
    return 0;
}
