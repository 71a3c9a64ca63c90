// The Windows side: a named file mapping and a named auto-reset event.
#include <windows.h>
#include <tlhelp32.h>

#include "slave_mailbox.h"

namespace zolt_slave {
namespace {

std::string describeError(const std::string& what, const std::string& name) {
    return what + " " + name + ": error " + std::to_string(GetLastError());
}

// Windows has no getppid: find the parent's id and hold a handle to it, so
// its end can be seen even if the id is reused.
HANDLE openParent() {
    const DWORD self = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return nullptr;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD parentId = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parentId = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parentId == 0 ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, parentId);
}

} // namespace

std::string stemOf(const char* programPath) {
    std::string fileName(programPath ? programPath : "");
    if (const auto separator = fileName.find_last_of("\\/"); separator != std::string::npos)
        fileName.erase(0, separator + 1);
    if (const auto dot = fileName.rfind('.'); dot != std::string::npos)
        fileName.erase(dot);
    return fileName;
}

SlaveMailbox::SlaveMailbox() : parent_(reinterpret_cast<std::intptr_t>(openParent())) {}

SlaveMailbox::~SlaveMailbox() {
    if (mapping_)
        UnmapViewOfFile(mapping_);
    if (event_)
        CloseHandle(static_cast<HANDLE>(event_));
}

bool SlaveMailbox::open(const char* programPath) {
    if (!programPath) {
        lastError_ = "no program path to derive the mailbox name from";
        return false;
    }
    const std::string stem = stemOf(programPath);
    const std::string mailboxName = stem + "SM";
    const std::string eventName = stem + "EM";

    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, mailboxName.c_str());
    if (mapping == nullptr) {
        lastError_ = describeError("cannot open mailbox", mailboxName);
        return false;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 1 + kTextBytes);
    // The view keeps the mapping alive.
    CloseHandle(mapping);
    if (view == nullptr) {
        lastError_ = describeError("cannot map mailbox", mailboxName);
        return false;
    }
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, eventName.c_str());
    if (event == nullptr) {
        lastError_ = describeError("cannot open event", eventName);
        UnmapViewOfFile(view);
        return false;
    }
    mapping_ = static_cast<unsigned char*>(view);
    event_ = event;
    return true;
}

void SlaveMailbox::signal() {
    SetEvent(static_cast<HANDLE>(event_));
}

bool SlaveMailbox::parentGone() const {
    HANDLE parent = reinterpret_cast<HANDLE>(parent_);
    return parent != nullptr && WaitForSingleObject(parent, 0) == WAIT_OBJECT_0;
}

} // namespace zolt_slave
