// A fixed table of system names, each with a value, safe to use from any
// thread. Fixed room, like everything else in the library: once full, further
// names are not kept.
#pragma once

#include <cstring>
#include <mutex>

#include "zolt_protocol.h"

namespace zolt {

template <typename Value, int Capacity>
class NameTable {
public:
    static constexpr std::size_t kNameCapacity = ZOLT_SYSTEM_NAME_CAPACITY;

    bool find(const char* name, Value& value) const {
        std::lock_guard lock(lock_);
        const Entry* entry = lookUp(name);
        if (entry != nullptr) value = entry->value;
        return entry != nullptr;
    }

    // Keeps the name unless it is kept already, too long, or the table is full.
    void insert(const char* name, Value value) {
        std::lock_guard lock(lock_);
        if (lookUp(name) != nullptr || count_ == Capacity || std::strlen(name) >= kNameCapacity) return;
        std::strcpy(entries_[count_].name, name);
        entries_[count_].value = value;
        ++count_;
    }

    // Calls visit(name, value) for every entry, then forgets them all.
    template <typename Visit>
    void drain(Visit visit) {
        std::lock_guard lock(lock_);
        for (int i = 0; i < count_; ++i) visit(entries_[i].name, entries_[i].value);
        count_ = 0;
    }

    // Held across a fork, so the child's copy is whole (see
    // guardNamesAcrossFork).
    void lock() { lock_.lock(); }
    void unlock() { lock_.unlock(); }

private:
    struct Entry {
        char name[kNameCapacity];
        Value value;
    };

    const Entry* lookUp(const char* name) const {
        for (int i = 0; i < count_; ++i) {
            if (std::strcmp(entries_[i].name, name) == 0) return &entries_[i];
        }
        return nullptr;
    }

    mutable std::mutex lock_;
    Entry entries_[Capacity] = {};
    int count_ = 0;
};

}  // namespace zolt
