// The channel objects in the shared-memory folder: mailboxes (stem + "SM",
// exactly one mailbox in size) and the events that go with them.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "zolt_protocol.h"

namespace zolt_objects {

inline constexpr const char* kSharedMemoryFolder = ZOLT_SHARED_MEMORY_FOLDER;

enum class ObjectKind { Mailbox, Event };

struct ChannelObject {
    ObjectKind kind = ObjectKind::Mailbox;
    std::string stem;
    std::string path;  // the file in the shared-memory folder
    uid_t owner = 0;
    mode_t mode = 0;
    off_t size = 0;
    dev_t device = 0;
    ino_t inode = 0;
    int state = -1;  // the mailbox's state byte; -1 for events and unreadable mailboxes
};

// Every mailbox in folder, each followed by its event if there is one,
// sorted by stem. Returns false with the reason in error if the folder
// cannot be read.
bool findChannelObjects(const std::string& folder, std::vector<ChannelObject>& objects, std::string& error);

const char* kindName(ObjectKind kind);

}  // namespace zolt_objects
