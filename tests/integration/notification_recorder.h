// Callbacks for the notification tests. A callback takes no arguments, so
// there is one function per channel, each feeding that channel's recorder.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "zolt.h"

namespace zolt_test {

class NotificationRecorder {
public:
    // What each call saw through ZoltMasterRead, in order.
    std::vector<std::string> texts() const;
    std::size_t calls() const;
    // Waits until at least `count` calls, with their actions, have finished;
    // false after `limit`.
    bool waitForCalls(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Runs inside every later callback.
    void setAction(std::function<void()> action);

    void record(const char* text);
    // Forgets the calls and the action of an earlier test.
    void clear();

private:
    mutable std::mutex lock_;
    mutable std::condition_variable recorded_;
    std::vector<std::string> texts_;
    std::function<void()> action_;
};

NotificationRecorder& recorderOf(int channel);
NotifyCallback callbackOf(int channel);

}  // namespace zolt_test
