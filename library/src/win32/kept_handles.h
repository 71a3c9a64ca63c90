// One handle per named object for the life of the process. Creating a named
// object that exists already yields a new handle every time; keeping the
// first one instead means a host that opens channels all day does not
// collect handles, and a re-open always finds the same object. Mapping and
// event names never clash: one ends in "SM", the other in "EM".
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

namespace zolt::win32 {

class KeptHandles {
public:
    // The handle kept for `name`, else the one create() makes, kept from now
    // on. Look-up and creation are one step, so channels that open one name
    // at the same moment keep one handle between them. No fixed room: a host
    // may open any number of stems in its life.
    template <typename Create>
    HANDLE findOrCreate(const char* name, Create create) {
        DWORD error = ERROR_SUCCESS;
        HANDLE handle = findOrCreateLocked(name, create, error);
        // Set again once the lock is given back, which may change it: the
        // host reads why the system refused.
        if (handle == nullptr) ::SetLastError(error);
        return handle;
    }

private:
    template <typename Create>
    HANDLE findOrCreateLocked(const char* name, Create create, DWORD& error) {
        std::lock_guard lock(mutex_);
        try {
            const auto found = handles_.find(name);
            if (found != handles_.end()) return found->second;
        } catch (...) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;  // no room even to look: the open fails its step
        }
        HANDLE handle = create();
        if (handle == nullptr) {
            error = ::GetLastError();
            return nullptr;
        }
        try {
            handles_.emplace(name, handle);
        } catch (...) {
            // Out of memory: handed out all the same, only not kept.
        }
        return handle;
    }

    std::mutex mutex_;
    std::map<std::string, HANDLE, std::less<>> handles_;
};

inline KeptHandles keptHandles;

}  // namespace zolt::win32
