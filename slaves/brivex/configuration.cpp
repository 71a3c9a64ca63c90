#include "configuration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool readWholeFile(const std::string& fileName, std::string& text, std::string& error) {
    // Non-blocking, so a FIFO under that name cannot hang the slave mid-command.
    const FileDescriptor file(open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.get() < 0 || fstat(file.get(), &info) != 0) {
        error = "cannot read " + fileName + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "cannot read " + fileName + ": not a regular file";
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(file.get(), buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = "cannot read " + fileName + ": " + std::strerror(errno);
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
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
