#include "command_log.h"

#include <cerrno>
#include <cstring>

CommandLog::~CommandLog() {
    if (file_)
        std::fclose(file_);
}

bool CommandLog::open(const char* path) {
    file_ = std::fopen(path, "ab");
    if (!file_) {
        lastError_ = std::string("cannot open log ") + path + ": " + std::strerror(errno);
        return false;
    }
    // Unbuffered, so a slave that dies later has lost nothing.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

void CommandLog::record(const char* command) {
    if (!file_)
        return;
    // One write per line keeps lines whole when slaves share the file.
    line_.assign(command);
    line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), file_);
}
