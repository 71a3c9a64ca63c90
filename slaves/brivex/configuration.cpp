#include "configuration.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace brivex {
namespace {

std::string_view trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\v\f";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

bool readWholeFile(const std::string& fileName, std::string& text, std::string& error) {
    // Only a regular file: a FIFO under that name would hang the slave mid-command.
    std::error_code status;
    if (!std::filesystem::exists(fileName, status)) {
        error = "cannot read " + fileName + ": " + std::strerror(ENOENT);
        return false;
    }
    if (!std::filesystem::is_regular_file(fileName, status)) {
        error = "cannot read " + fileName + ": not a regular file";
        return false;
    }
    std::ifstream file(fileName, std::ios::binary);
    if (!file) {
        error = "cannot read " + fileName + ": " + std::strerror(errno);
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

std::vector<Setting> parseSettings(std::string_view text) {
    std::vector<Setting> settings;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = trim(line.substr(0, equals));
        if (key.empty())
            continue;
        settings.push_back({std::string(key), std::string(trim(line.substr(equals + 1)))});
    }
    return settings;
}

bool readConfiguration(const std::string& fileName, std::vector<Setting>& settings,
                       std::string& error) {
    std::string text;
    if (!readWholeFile(fileName, text, error))
        return false;
    settings = parseSettings(text);
    return true;
}

} // namespace brivex
