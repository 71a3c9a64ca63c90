// The library as one host process sees it: libZolt.so loaded by file name,
// bench slaves under names of their own, and each poller's suspension count
// followed, so that a registered callback is sure to run.
#pragma once

#include <cstdint>
#include <string>

#include "zolt_loader.h"

namespace zolt_bench {

// The folder that holds this program, the library and the bench slave.
inline std::string binaryFolder() { return zolt_loader::programFolder(); }

// Uniquely named links to the bench slave. Mailbox and event names derive from
// the slave's file name and are global to the machine, so every slave of
// every run gets a name of its own: "Bench<pid>n<k>.<way>".
class SlaveLinks {
public:
    SlaveLinks();
    ~SlaveLinks();
    SlaveLinks(const SlaveLinks&) = delete;
    SlaveLinks& operator=(const SlaveLinks&) = delete;

    // way: "spin", "poll" or "mute" (see bench_slave.cpp).
    std::string newLink(const char* way);
    // The process's one folder of links.
    static SlaveLinks& shared();

private:
    std::string folder_;
    int made_ = 0;
};

class ZoltHost {
public:
    // Loads the library on first use; error() tells why if that failed.
    static ZoltHost& instance();
    bool loaded() const { return zolt_.open != nullptr; }
    const std::string& error() const { return error_; }

    // Opens the channel to a new bench slave; its path goes to `slavePath`.
    std::int8_t open(int channel, const char* way, std::string* slavePath = nullptr);
    std::int8_t write(int channel, const char* command) const {
        return zolt_.write(static_cast<std::int8_t>(channel), command);
    }
    const char* read(int channel) const { return zolt_.read(static_cast<std::int8_t>(channel)); }
    // Registers the callback and lets the poller run, however many closes
    // suspended it before.
    std::int8_t enableCallback(int channel, NotifyCallback callback);
    std::int8_t close(int channel);

private:
    ZoltHost();

    zolt_loader::ZoltFunctions zolt_;
    std::string error_;
    // Every poller starts suspended once.
    int suspensions_[ZOLT_CHANNEL_COUNT] = {1, 1, 1, 1, 1, 1, 1, 1};
};

}  // namespace zolt_bench
