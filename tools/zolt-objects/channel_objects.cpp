#include "channel_objects.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "zolt_protocol.h"

namespace zolt_objects {
namespace {

// POSIX semaphores live in the same folder under this prefix.
constexpr std::string_view kSemaphorePrefix =
    std::string_view(ZOLT_SEMAPHORE_FILE_PREFIX).substr(sizeof(ZOLT_SHARED_MEMORY_FOLDER));

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A regular file, not followed through a link: nothing else is ours.
bool describe(const std::string& path, ChannelObject& object) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    object.path = path;
    object.owner = info.st_uid;
    object.mode = info.st_mode & 07777;
    object.size = info.st_size;
    object.device = info.st_dev;
    object.inode = info.st_ino;
    return true;
}

int readStateByte(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    unsigned char state = 0;
    const ssize_t got = ::pread(fd, &state, 1, ZOLT_STATE_OFFSET);
    ::close(fd);
    return got == 1 ? state : -1;
}

}  // namespace

const char* kindName(ObjectKind kind) { return kind == ObjectKind::Mailbox ? "mailbox" : "event"; }

bool findChannelObjects(const std::string& folder, std::vector<ChannelObject>& objects, std::string& error) {
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) {
        error = "cannot read " + folder + ": " + std::strerror(errno);
        return false;
    }
    std::vector<ChannelObject> mailboxes;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (!endsWith(name, ZOLT_MAILBOX_SUFFIX)) continue;
        ChannelObject mailbox;
        if (!describe(folder + "/" + std::string(name), mailbox) || mailbox.size != ZOLT_MAILBOX_SIZE) continue;
        mailbox.kind = ObjectKind::Mailbox;
        mailbox.stem = std::string(name.substr(0, name.size() - std::strlen(ZOLT_MAILBOX_SUFFIX)));
        mailbox.state = readStateByte(mailbox.path);
        mailboxes.push_back(std::move(mailbox));
    }
    ::closedir(directory);

    std::sort(mailboxes.begin(), mailboxes.end(),
              [](const ChannelObject& a, const ChannelObject& b) { return a.stem < b.stem; });
    objects.clear();
    for (ChannelObject& mailbox : mailboxes) {
        ChannelObject event;
        const bool hasEvent =
            describe(folder + "/" + std::string(kSemaphorePrefix) + mailbox.stem + ZOLT_EVENT_SUFFIX, event);
        event.kind = ObjectKind::Event;
        event.stem = mailbox.stem;
        objects.push_back(std::move(mailbox));
        if (hasEvent) objects.push_back(std::move(event));
    }
    return true;
}

}  // namespace zolt_objects
