#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brivex {

struct Setting {
    std::string key;
    std::string value;
};

// Lines of the form key=value, spaces around either side trimmed; blank lines,
// lines starting with '#' or ';' and lines without a key are skipped.
std::vector<Setting> parseSettings(std::string_view text);

// The settings of a file in the current directory. On failure leaves settings
// untouched and says why in error.
bool readConfiguration(const std::string& fileName, std::vector<Setting>& settings,
                       std::string& error);

} // namespace brivex
