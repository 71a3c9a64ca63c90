#pragma once

#include <cstdio>
#include <string>

// Appends each received command as one line, so tests can check that every
// command arrived once and intact. Several slaves may share one file.
class CommandLog {
public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    bool open(const char* path);
    const std::string& lastError() const { return lastError_; }
    // No-op when no log was opened.
    void record(const char* command);

private:
    std::FILE* file_ = nullptr;
    std::string lastError_;
    std::string line_;
};
