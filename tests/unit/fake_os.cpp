#include "fake_os.h"

#include <algorithm>
#include <cstring>
#include <numeric>

std::string FakeOs::text(const std::string& name) {
    const Mailbox& box = mailbox(name);
    const auto* begin = reinterpret_cast<const char*>(box.data() + 1);
    return std::string(begin, ::strnlen(begin, box.size() - 1));
}

bool FakeOs::pending(const std::string& name) const {
    const auto found = events_.find(name);
    return found != events_.end() && found->second;
}

int FakeOs::releasedHandles() const {
    return std::accumulate(processes.begin(), processes.end(), 0,
                           [](int sum, const Process& p) { return sum + p.releases; });
}

int FakeOs::handlesReleasedTwice() const {
    return static_cast<int>(
        std::count_if(processes.begin(), processes.end(), [](const Process& p) { return p.releases > 1; }));
}

zolt::SharedMemoryHandle FakeOs::createSharedMemory(const char* name, std::size_t size) {
    sharedMemoryCreates.emplace_back(name);
    if (failCreateSharedMemory || size > zolt::kMailboxSize) return failed(0);
    mailbox(name);
    memoryHandles_.emplace_back(name);
    return static_cast<zolt::SharedMemoryHandle>(memoryHandles_.size());
}

unsigned char* FakeOs::mapSharedMemory(zolt::SharedMemoryHandle memory, std::size_t size) {
    ++maps;
    if (failMapSharedMemory || size > zolt::kMailboxSize) return failed(nullptr);
    unsigned char* view = mailbox(memoryHandles_.at(memory - 1)).data();
    liveViews.insert(view);
    return view;
}

void FakeOs::unmapSharedMemory(unsigned char* view, std::size_t) {
    ++unmaps;
    systemError = cleanupError;
    const auto found = liveViews.find(view);
    if (found == liveViews.end()) {
        ++strayUnmaps;
        return;
    }
    liveViews.erase(found);
}

zolt::EventHandle FakeOs::createEvent(const char* name) {
    eventCreates.emplace_back(name);
    if (failCreateEvent) return failed(0);
    events_.try_emplace(name, false);  // an existing event keeps its signal
    eventHandles_.emplace_back(name);
    return static_cast<zolt::EventHandle>(eventHandles_.size());
}

int FakeOs::waitForEvent(zolt::EventHandle event, zolt::WakeHandle, int) {
    waits.push_back(event);
    events_[eventName(event)] = false;
    return 1;
}

void FakeOs::signalEvent(zolt::EventHandle event) {
    signalled.push_back(eventName(event));
    events_[eventName(event)] = true;
}

zolt::ClaimResult FakeOs::claimStem(const char* name, zolt::ClaimHandle& claim) {
    if (failClaims) return failed(zolt::ClaimResult::Failed);
    if (claimedElsewhere.contains(name) || holds(name)) return zolt::ClaimResult::InUse;
    claim = ++nextClaim_;
    heldClaims[claim] = name;
    return zolt::ClaimResult::Claimed;
}

void FakeOs::releaseStemClaim(zolt::ClaimHandle claim) {
    ++claimReleases;
    systemError = cleanupError;
    heldClaims.erase(claim);
}

bool FakeOs::holds(const std::string& claim) const {
    return std::any_of(heldClaims.begin(), heldClaims.end(), [&](const auto& held) { return held.second == claim; });
}

zolt::ProcessHandle FakeOs::startProcess(const char* path) {
    startAttempts.emplace_back(path);
    if (failStartProcess) return failed(0);
    processes.push_back(Process{path});
    return static_cast<zolt::ProcessHandle>(processes.size());
}

void FakeOs::queryExitCode(zolt::ProcessHandle handle, std::uint32_t& exitCode) {
    const Process& p = process(handle);
    if (!p.storesNothing) exitCode = p.exitCode;
}

void FakeOs::releaseProcess(zolt::ProcessHandle handle) { ++process(handle).releases; }

zolt::ThreadHandle FakeOs::createThread(zolt::ThreadBody body, void* argument, std::uint32_t& threadId) {
    if (failThreadCalls.contains(threadCalls++)) return 0;
    threads.push_back({body, argument});
    threadId = static_cast<std::uint32_t>(1000 + threads.size());
    return static_cast<zolt::ThreadHandle>(threads.size());
}

void FakeOs::wakeSlave(unsigned char* mailbox, zolt::WakeHandle) { wakes.push_back(mailbox[0]); }

void FakeOs::sleepOneMillisecond(int sleeper) {
    ++sleeps;
    sleepers.push_back(sleeper);
    if (onSleep) onSleep();
}

ScriptedSlave::ScriptedSlave(FakeOs& os, const std::string& mailboxName) : mailbox_(os.mailbox(mailboxName)) {
    // Several slaves may share the fake: each serves on every sleep.
    os.onSleep = [this, previous = os.onSleep] {
        if (previous) previous();
        serve();
    };
}

void ScriptedSlave::serve() {
    if (!busy_) {
        if (mailbox_[0] != zolt::kPending) return;
        busy_ = true;
        waited_ = 0;
        const auto* text = reinterpret_cast<const char*>(mailbox_.data() + 1);
        commands.emplace_back(text, ::strnlen(text, mailbox_.size() - 1));
    }
    ++waited_;
    if (answers_.empty() || waited_ < answers_.front().afterSleeps) return;
    const std::string& reply = answers_.front().reply;
    std::memcpy(mailbox_.data() + 1, reply.c_str(), reply.size() + 1);
    mailbox_[0] = zolt::kIdle;
    answers_.pop_front();
    busy_ = false;
}
