#include "named_objects.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "created_names.h"
#include "zolt_protocol.h"

namespace zolt::posix {

namespace {

constexpr mode_t kOwnerOnly = 0600;
constexpr std::size_t kFullNameCapacity = ZOLT_SYSTEM_NAME_CAPACITY;
// Where glibc keeps named semaphores, so their owner can be checked.
constexpr char kSemaphoreFolder[] = ZOLT_SEMAPHORE_FILE_PREFIX;

bool prefixName(const char* name, char (&fullName)[kFullNameCapacity]) { return zolt_system_name(name, fullName) != 0; }

bool semaphorePath(const char* name, char (&path)[kFullNameCapacity + sizeof kSemaphoreFolder]) {
    const int written = std::snprintf(path, sizeof path, "%s%s", kSemaphoreFolder, name);
    return written > 0 && static_cast<std::size_t>(written) < sizeof path;
}

// An object of ours that someone made readable or writable by others is
// taken back to 0600 before it carries a single command.
bool ownerOnly(int descriptor, const struct stat& status) {
    return (status.st_mode & 07777) == kOwnerOnly || ::fchmod(descriptor, kOwnerOnly) == 0;
}

// Someone else's object of our name: refused as the system refuses access.
bool ownedByUs(const struct stat& status) {
    if (status.st_uid == ::geteuid()) return true;
    errno = EACCES;
    return false;
}

// glibc maps an existing file as it is: one too short for a semaphore would
// raise SIGBUS in the poller's first wait, killing the host.
bool fitsASemaphore(const struct stat& status) {
    if (S_ISREG(status.st_mode) && status.st_size >= static_cast<off_t>(sizeof(sem_t))) return true;
    errno = EINVAL;
    return false;
}

// On a failure path: the reason stays for the host.
void closeKeepingErrno(int descriptor) {
    const int error = errno;
    ::close(descriptor);
    errno = error;
}

// Gives the object at least `size` bytes, with pages behind them. ftruncate
// alone reserves nothing on tmpfs: with /dev/shm full, the first write to
// the mailbox would raise SIGBUS and kill the host. An object that has the
// pages already keeps them, larger ones their size.
bool reserve(int descriptor, std::size_t size) {
    const int error = ::posix_fallocate(descriptor, 0, static_cast<off_t>(size));
    if (error == 0) return true;
    errno = error;
    return false;
}

}  // namespace

int openSharedMemory(const char* name, std::size_t size) {
    char fullName[kFullNameCapacity];
    if (!prefixName(name, fullName)) return -1;

    int descriptor = ::shm_open(fullName, O_RDWR | O_CREAT | O_EXCL, kOwnerOnly);
    if (descriptor >= 0) {
        // The umask may have taken bits away; set exactly what we mean.
        if (::fchmod(descriptor, kOwnerOnly) != 0 || !reserve(descriptor, size)) {
            const int error = errno;
            ::close(descriptor);
            ::shm_unlink(fullName);
            errno = error;
            return -1;
        }
        rememberOwnedName(NamedObjectKind::SharedMemory, fullName);
        return descriptor;
    }
    if (errno != EEXIST) return -1;

    descriptor = ::shm_open(fullName, O_RDWR, 0);
    if (descriptor < 0) return -1;
    struct stat status {};
    const bool usable = ::fstat(descriptor, &status) == 0 && ownedByUs(status) && ownerOnly(descriptor, status) &&
                        reserve(descriptor, size);
    if (!usable) {
        closeKeepingErrno(descriptor);
        return -1;
    }
    rememberOwnedName(NamedObjectKind::SharedMemory, fullName);
    return descriptor;
}

sem_t* openSemaphore(const char* name) {
    char fullName[kFullNameCapacity];
    char path[kFullNameCapacity + sizeof kSemaphoreFolder];
    if (!prefixName(name, fullName) || !semaphorePath(name, path)) return nullptr;

    sem_t* semaphore = ::sem_open(fullName, O_CREAT | O_EXCL, kOwnerOnly, 0U);
    if (semaphore != SEM_FAILED) {
        ::chmod(path, kOwnerOnly);
        rememberOwnedName(NamedObjectKind::Semaphore, fullName);
        return semaphore;
    }
    if (errno != EEXIST) return nullptr;

    semaphore = ::sem_open(fullName, 0);
    if (semaphore == SEM_FAILED) return nullptr;
    const int descriptor = ::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    const bool usable = descriptor >= 0 && ::fstat(descriptor, &status) == 0 && ownedByUs(status) &&
                        fitsASemaphore(status) && ownerOnly(descriptor, status);
    if (descriptor >= 0) closeKeepingErrno(descriptor);
    if (!usable) {
        const int error = errno;
        ::sem_close(semaphore);
        errno = error;
        return nullptr;
    }
    rememberOwnedName(NamedObjectKind::Semaphore, fullName);
    return semaphore;
}

}  // namespace zolt::posix
