// Commands of the form verb>argument, as the demo and test slaves take them.
#pragma once

#include <string_view>

namespace zolt_slave {

// True if `command` starts with `prefix`; `rest` is then what follows it.
inline bool takePrefix(std::string_view command, std::string_view prefix, std::string_view& rest) {
    if (!command.starts_with(prefix)) return false;
    rest = command.substr(prefix.size());
    return true;
}

}  // namespace zolt_slave
