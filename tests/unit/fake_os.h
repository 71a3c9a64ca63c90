// An in-memory operating system for the channel logic: named objects live in
// maps, nothing blocks, nothing really sleeps, and every call is counted.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "mailbox.h"
#include "os.h"

class FakeOs final : public zolt::Os {
public:
    using Mailbox = std::array<unsigned char, zolt::kMailboxSize>;

    struct Process {
        std::string path;
        std::uint32_t exitCode = zolt::kStillRunning;
        bool storesNothing = false;  // the query leaves the caller's word alone
        int releases = 0;
    };

    struct Thread {
        zolt::ThreadBody body;
        void* argument;
    };

    // Failure switches.
    bool failCreateSharedMemory = false;
    bool failMapSharedMemory = false;
    bool failCreateEvent = false;
    bool failStartProcess = false;
    bool failClaims = false;
    std::set<int> failThreadCalls;  // createThread call numbers, from 0
    // The system's error: a failing call sets failureError, and every claim
    // release and unmap overwrites it with cleanupError, as a system may.
    int systemError = 0;
    int failureError = 2;
    int cleanupError = 9;

    // Claims that other processes hold, and the ones this process holds.
    std::set<std::string> claimedElsewhere;
    std::map<zolt::ClaimHandle, std::string> heldClaims;
    int claimReleases = 0;
    std::uint32_t pid = 100;  // change it to play a forked child

    // What the core asked for.
    std::vector<std::string> sharedMemoryCreates;  // names, one per call
    std::vector<std::string> eventCreates;
    std::vector<std::string> startAttempts;  // paths, failed ones too
    std::vector<Process> processes;          // handle n is processes[n - 1]
    std::vector<Thread> threads;             // created ones only
    std::vector<zolt::EventHandle> waits;
    std::vector<std::string> signalled;  // events the core signalled itself
    int threadCalls = 0;
    int maps = 0;
    int unmaps = 0;
    int strayUnmaps = 0;  // views unmapped that were not mapped (twice, or foreign)
    std::multiset<unsigned char*> liveViews;

    int sleeps = 0;
    std::function<void()> onSleep;  // runs on every sleep, after counting it
    std::vector<int> sleepers;      // the sleeper of every sleep, in order
    std::vector<int> finishes;      // the sleeper of every finished wait
    std::vector<unsigned char> wakes;  // the state byte at every wake

    // The buffer behind a name; made on first use, so a test can fill it
    // before the core opens it.
    Mailbox& mailbox(const std::string& name) { return mailboxes_[name]; }
    std::string text(const std::string& name);
    unsigned char state(const std::string& name) { return mailbox(name)[0]; }

    bool pending(const std::string& name) const;
    void signal(const std::string& name) { events_[name] = true; }
    std::string eventName(zolt::EventHandle event) const { return eventHandles_.at(event - 1); }

    Process& process(zolt::ProcessHandle handle) { return processes.at(handle - 1); }
    int releasedHandles() const;
    int handlesReleasedTwice() const;

    zolt::SharedMemoryHandle createSharedMemory(const char* name, std::size_t size) override;
    unsigned char* mapSharedMemory(zolt::SharedMemoryHandle memory, std::size_t size) override;
    void unmapSharedMemory(unsigned char* view, std::size_t size) override;
    zolt::EventHandle createEvent(const char* name) override;
    int waitForEvent(zolt::EventHandle event, zolt::WakeHandle wake, int milliseconds) override;
    zolt::WakeHandle createWakeUp() override { return 0; }
    void wakeUp(zolt::WakeHandle) override {}
    void signalEvent(zolt::EventHandle event) override;
    zolt::ClaimResult claimStem(const char* name, zolt::ClaimHandle& claim) override;
    void releaseStemClaim(zolt::ClaimHandle claim) override;
    zolt::ProcessHandle startProcess(const char* path) override;
    void queryExitCode(zolt::ProcessHandle process, std::uint32_t& exitCode) override;
    void releaseProcess(zolt::ProcessHandle process) override;
    zolt::ThreadHandle createThread(zolt::ThreadBody body, void* argument, std::uint32_t& threadId) override;
    void sleepOneMillisecond(int sleeper) override;
    void finishSleeping(int sleeper) override { finishes.push_back(sleeper); }
    zolt::WakeHandle createSlaveWakeUp(const char*) override { return 0; }
    void wakeSlave(unsigned char* mailbox, zolt::WakeHandle) override;
    std::uint32_t processId() override { return pid; }
    int lastError() override { return systemError; }
    void restoreLastError(int error) override { systemError = error; }
    bool holds(const std::string& claim) const;

private:
    template <typename Result>
    Result failed(Result result) {
        systemError = failureError;
        return result;
    }

    zolt::ClaimHandle nextClaim_ = 0;
    std::map<std::string, Mailbox> mailboxes_;  // node-based: addresses stay put
    std::vector<std::string> memoryHandles_;
    std::map<std::string, bool> events_;
    std::vector<std::string> eventHandles_;
};

// Plays the slave from the fake's sleep hook: takes each command it finds
// pending and answers it after a set number of sleeps. Without a queued
// answer it takes the command and stays silent.
class ScriptedSlave {
public:
    static constexpr int kNever = INT_MAX;

    ScriptedSlave(FakeOs& os, const std::string& mailboxName);
    ScriptedSlave(const ScriptedSlave&) = delete;
    ScriptedSlave& operator=(const ScriptedSlave&) = delete;

    void answer(std::string reply, int afterSleeps = 1) { answers_.push_back({std::move(reply), afterSleeps}); }

    std::vector<std::string> commands;  // as taken from the mailbox

private:
    struct Answer {
        std::string reply;
        int afterSleeps;
    };

    void serve();

    FakeOs::Mailbox& mailbox_;
    std::deque<Answer> answers_;
    bool busy_ = false;
    int waited_ = 0;
};
