/*
 * zolt_slave.h: the slave's end of a Zolt channel, for C (C11) and C++
 * programs on Linux and Windows. Header only: include it (zolt_protocol.h,
 * installed beside it, holds the protocol's sizes, texts and stem rule),
 * nothing to link but -lrt on Linux with a glibc older than 2.34.
 *
 * The host opens a channel with the slave's path. From that path's stem
 * (".../Name.ext" gives "Name") the library has already made a 1025-byte
 * mailbox and an event when it starts the slave. The slave opens both, then
 * loops: wait for a command, act, reply. The host sends "Ask" after the slave
 * signals the event, and expects the next notification or exactly
 * "(nothing)"; "Close" is the last command of a channel.
 *
 *     ZoltSlave slave;
 *     const char *command;
 *     if (zolt_slave_open(&slave, argv[0]) != 0) {
 *         fprintf(stderr, "%s\n", slave.error);
 *         return 2;
 *     }
 *     while ((command = zolt_slave_wait(&slave)) != NULL) {
 *         if (strcmp(command, ZOLT_COMMAND_ASK) == 0) zolt_slave_reply(&slave, ZOLT_REPLY_NOTHING);
 *         else zolt_slave_reply(&slave, "done");
 *         if (strcmp(command, ZOLT_COMMAND_CLOSE) == 0) break;
 *     }
 *     zolt_slave_close(&slave);
 *
 * The slave must derive exactly the stem the library derived from the
 * host's path; zolt_slave_started_path says how it finds that path. On
 * Windows only the backslash separates folders, and the stem keeps the case
 * the host spelt (object names are case-sensitive). Paths a host may give:
 *   C:\Datas\Brivex\Brivex.exe     absolute                    "Brivex"
 *   Slaves\Brivex.exe              relative to the host's folder "Brivex"
 *   C:\My Slaves\Brivex.exe        spaces in folders or name     "Brivex"
 *   C:\Slaves\Brivex.v2.exe        several periods: the last one "Brivex.v2"
 *   C:\Slaves\BriVex.EXE           mixed case, kept              "BriVex"
 *   C:/Slaves/Brivex.exe           '/' is no separator there     "C:/Slaves/Brivex"
 * The library refuses (status 3) an empty path, one longer than 99
 * bytes, and one ending in a backslash.
 *
 * The queue at the end of this file keeps notifications until the host asks;
 * slaves/example/minimal_slave.c uses it.
 *
 * zolt_slave_wait returns NULL once the process that started the slave has
 * ended, so a slave never outlives a host that crashed, even one that ended
 * before the slave started: on Linux the slave then finds no host holding its
 * stem's claim.
 *
 * Nothing here is thread-safe: use a ZoltSlave from one thread at a time.
 */
#ifndef ZOLT_SLAVE_H
#define ZOLT_SLAVE_H

/* The kit needs C11's atomics and its POSIX interfaces; under an older
 * standard the first error would name neither. */
#if !defined(__cplusplus) && (!defined(__STDC_VERSION__) || __STDC_VERSION__ < 201112L)
#  error "zolt_slave.h needs C11 or later (for example -std=c11 or -std=gnu11), or C++"
#endif

#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "zolt_precise_sleep.h"
#include "zolt_protocol.h"

#if defined(_WIN32)
#  include <windows.h>
#  include <tlhelp32.h>
#else
#  include <fcntl.h>
#  include <semaphore.h>
#  include <sys/mman.h>
#  include <sys/stat.h>
#  include <sys/select.h>
#  include <sys/socket.h>
#  include <sys/un.h>
#  include <unistd.h>
#  if defined(__linux__)
#    include <linux/futex.h>
#    include <sys/syscall.h>
#    include <time.h>
/* Strict C hides syscall; the C library has it all the same. */
#    if !defined(__cplusplus) && defined(__GLIBC__) && !defined(__USE_MISC)
long syscall(long number, ...);
#    endif
#    if !defined(__cplusplus) && defined(__GLIBC__) && !defined(__USE_XOPEN2K)
int posix_fallocate(int fd, off_t offset, off_t length);
#    endif
#  endif
#endif

/* The state byte is shared with another process: plain loads and stores
 * could be reordered around the text they guard. */
#if defined(__GNUC__) || defined(__clang__)
#  define ZOLT_SLAVE_LOAD_STATE(byte) __atomic_load_n((byte), __ATOMIC_ACQUIRE)
#  define ZOLT_SLAVE_STORE_STATE(byte, value) __atomic_store_n((byte), (value), __ATOMIC_RELEASE)
#elif defined(_MSC_VER) && (defined(_M_IX86) || defined(_M_X64))
/* MSVC gives volatile accesses acquire and release ordering on x86 and x64
 * (/volatile:ms, its default there). */
#  include <intrin.h>
#  define ZOLT_SLAVE_LOAD_STATE(byte) (*(volatile unsigned char *)(byte))
#  define ZOLT_SLAVE_STORE_STATE(byte, value) (*(volatile unsigned char *)(byte) = (value))
#else
#  error "zolt_slave.h needs GCC, Clang, or MSVC on x86 or x64"
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Room for a path the library accepts, and for an object's system name (on
 * Linux with its leading '/'), each with its NUL. */
#define ZOLT_SLAVE_PATH_CAPACITY (ZOLT_MAX_SLAVE_PATH_LENGTH + 1)
#define ZOLT_SLAVE_NAME_CAPACITY ZOLT_SYSTEM_NAME_CAPACITY

/* The kit's older names, kept so that slaves written against them still
 * build: use the zolt_protocol.h names. */
#define ZOLT_SLAVE_TEXT_BYTES ZOLT_TEXT_CAPACITY
#define ZOLT_SLAVE_MAX_TEXT_LENGTH ZOLT_MAX_TEXT_LENGTH
#define ZOLT_SLAVE_MAILBOX_BYTES ZOLT_MAILBOX_SIZE
#define ZOLT_SLAVE_NOTHING ZOLT_REPLY_NOTHING

/* Said when the mailbox does not exist: the program was most likely run by
 * hand, and only a host creates the objects before starting its slave. */
#define ZOLT_SLAVE_NOT_STARTED_BY_A_HOST \
    " (a host creates it, then starts this program: run it through ZoltMasterOpen or zolt-console)"

typedef struct ZoltSlave {
    /* The mapped mailbox: the state byte (ZOLT_STATE_IDLE, else a command
     * is pending), then the text area. */
    unsigned char *mailbox;
    /* The pending command, copied out of the mailbox by zolt_slave_poll. */
    char command[ZOLT_TEXT_CAPACITY];
    /* Why zolt_slave_open or zolt_slave_connect failed, as a sentence. */
    char error[256];
#if defined(_WIN32)
    HANDLE event;
    /* The host's wake-up event (ZOLT_WAKE_SUFFIX), or NULL where the
     * library made none: the slave then naps. */
    HANDLE wake;
    HANDLE host; /* the parent process, or NULL if it could not be found */
    int host_ended; /* the parent had ended before the slave looked for it */
    ZoltPreciseSleep nap; /* Sleep(1) would last a whole system tick */
#else
    sem_t *event;
    pid_t host; /* the parent process when the slave started */
    int host_ended; /* no host held the stem's claim when the slave connected */
#endif
} ZoltSlave;

/* The system names of the mailbox and the event of program_path's stem, by
 * the protocol's one rule with this platform's separator; on Linux with the
 * leading '/' of shm_open and sem_open. Returns 1, or 0 when the rule
 * refuses the path, as the library does. */
static inline int zolt_slave_object_names(const char *program_path, char mailbox[ZOLT_SLAVE_NAME_CAPACITY],
                                          char event[ZOLT_SLAVE_NAME_CAPACITY]) {
    char name[ZOLT_OBJECT_NAME_CAPACITY];
    return zolt_object_name(program_path, ZOLT_PATH_SEPARATOR, ZOLT_MAILBOX_SUFFIX, name) &&
           zolt_system_name(name, mailbox) &&
           zolt_object_name(program_path, ZOLT_PATH_SEPARATOR, ZOLT_EVENT_SUFFIX, name) &&
           zolt_system_name(name, event);
}

/* The program path in a Windows command line, into path: the text inside
 * the quotes when the line starts with one (as Wine gives it, and as most
 * launchers do), else the whole line, which is what Windows gives when the
 * library starts a slave. Returns 1, or 0 when the line holds no path the
 * library accepts: an empty one, or one longer than
 * ZOLT_MAX_SLAVE_PATH_LENGTH. Plain string work, so it builds everywhere. */
static inline int zolt_slave_path_in_command_line(const char *command_line, char path[ZOLT_SLAVE_PATH_CAPACITY]) {
    const char *start = command_line;
    size_t length = 0;
    char end;
    if (start == NULL) return 0;
    end = *start == '"' ? '"' : '\0';
    if (end == '"') ++start;
    while (length <= ZOLT_MAX_SLAVE_PATH_LENGTH && start[length] != end && start[length] != '\0') ++length;
    if (length == 0 || length > ZOLT_MAX_SLAVE_PATH_LENGTH) return 0;
    memcpy(path, start, length);
    path[length] = '\0';
    return 1;
}

/* This program's own path as the host gave it to ZoltMasterOpen, found from
 * what the system handed the program. argv0 is main's argv[0].
 *   Linux: argv0 itself. The library starts a slave with its path, as
 *   given, as the only argument.
 *   Windows: argv0 is not used. The library starts a slave with no command
 *   line, so Windows makes the path itself the command line, unquoted (Wine
 *   quotes it), and the C runtime cuts argv[0] at the first space: "C:\My
 *   Slaves\Brivex.exe" gives "C:\My". The whole command line, without its
 *   quotes, is the path exactly as the host spelt it: relative or absolute,
 *   in its case, with its slashes. Only where the command line holds no path
 *   the library accepts (a launcher gave none, or a longer one) does the
 *   file name of the program's module stand in: GetModuleFileNameA gives
 *   the file's full path, not the host's spelling, which differs in its
 *   folders, and may differ in case or slashes.
 * Returns the path (on Windows copied into path), or NULL if there is none. */
static inline const char *zolt_slave_started_path(const char *argv0, char path[ZOLT_SLAVE_PATH_CAPACITY]) {
#if defined(_WIN32)
    char module[MAX_PATH + 1];
    const char *file_name = module;
    const char *p;
    DWORD length;
    (void)argv0;
    if (zolt_slave_path_in_command_line(GetCommandLineA(), path)) return path;
    length = GetModuleFileNameA(NULL, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return NULL;
    module[length] = '\0';
    for (p = module; *p != '\0'; ++p)
        if (*p == ZOLT_PATH_SEPARATOR) file_name = p + 1;
    return zolt_slave_path_in_command_line(file_name, path) ? path : NULL;
#else
    (void)path;
    return argv0;
#endif
}

/* How zolt_slave_wait paces its looks at the mailbox. Right after a command
 * the next one tends to follow soon: quick naps of 0.1 ms answer it well
 * within the host's first sleep of a millisecond. After a quiet spell the
 * slave rests: on Linux it waits in the kernel for the host's wake-up on the
 * mailbox's first word (ZOLT_WAKE_WORD_OFFSET), up to a second at a time, so
 * that an idle slave wakes about once a second, still answers at once, and
 * notices within a second that its host is gone. On Windows it waits the
 * same way on the host's wake-up event (ZOLT_WAKE_SUFFIX) together with the
 * host's process; where the library made no such event, and elsewhere, it
 * naps a millisecond. Whether the host is gone is asked on every resting
 * look that follows a wait, and only every so many quick ones. On Windows
 * the naps use a high-resolution timer (zolt_precise_sleep.h): Sleep(1)
 * would last a whole system tick, 15.625 ms by default. */
#define ZOLT_SLAVE_QUICK_NAP_MICROSECONDS 100
#define ZOLT_SLAVE_RESTING_NAP_MICROSECONDS 1000
#define ZOLT_SLAVE_RESTING_WAIT_MILLISECONDS 1000
#define ZOLT_SLAVE_QUICK_NAPS 500 /* 50 ms */
#define ZOLT_SLAVE_LOOKS_PER_HOST_CHECK 64

/* Non-zero where a resting slave waits to be woken rather than napping, and
 * so can ask after its host at every resting look. */
static inline int zolt_slave_rests_until_woken(const ZoltSlave *slave) {
#if defined(_WIN32)
    return slave->wake != NULL;
#elif defined(__linux__)
    (void)slave;
    return 1;
#else
    (void)slave;
    return 0;
#endif
}

/* Sleeps for one polling interval: a quick one, or once resting until the
 * host raises the state byte or the resting time is up. */
static inline void zolt_slave_nap(ZoltSlave *slave, int resting) {
#if defined(_WIN32)
    if (resting && slave->wake != NULL) {
        /* The host sets the wake-up event right after raising the state
         * byte, and its process handle is set once it has ended: either
         * ends the rest, or the resting time. A signal left from a command
         * served while not resting costs one more look. */
        HANDLE objects[2];
        DWORD count = 0;
        objects[count++] = slave->wake;
        if (slave->host != NULL) objects[count++] = slave->host;
        if (WaitForMultipleObjects(count, objects, FALSE, ZOLT_SLAVE_RESTING_WAIT_MILLISECONDS) != WAIT_FAILED)
            return;
    }
    zolt_precise_sleep(&slave->nap,
                       resting ? ZOLT_SLAVE_RESTING_NAP_MICROSECONDS : ZOLT_SLAVE_QUICK_NAP_MICROSECONDS);
#else
    /* select, unlike nanosleep, is declared under strict C11 too. */
    struct timeval interval = {0, ZOLT_SLAVE_QUICK_NAP_MICROSECONDS};
#  if defined(__linux__)
    if (resting) {
        unsigned int *word = (unsigned int *)(void *)(slave->mailbox + ZOLT_WAKE_WORD_OFFSET);
        const unsigned int seen = __atomic_load_n(word, __ATOMIC_ACQUIRE);
        struct timespec limit = {ZOLT_SLAVE_RESTING_WAIT_MILLISECONDS / 1000,
                                 ZOLT_SLAVE_RESTING_WAIT_MILLISECONDS % 1000 * 1000000L};
        /* A change since the look, the host's wake-up or the time limit
         * ends the wait; a refusal falls back to a nap. */
        if (((const unsigned char *)&seen)[ZOLT_STATE_OFFSET - ZOLT_WAKE_WORD_OFFSET] != ZOLT_STATE_IDLE ||
            syscall(SYS_futex, word, FUTEX_WAIT, seen, &limit, NULL, 0) == 0 || errno == EAGAIN ||
            errno == ETIMEDOUT || errno == EINTR)
            return;
    }
#  endif
    if (resting) interval.tv_usec = ZOLT_SLAVE_RESTING_NAP_MICROSECONDS;
    (void)slave;
    select(0, NULL, NULL, NULL, &interval);
#endif
}

/* Clears the slave and remembers the process that started it, so that
 * zolt_slave_host_gone works from here on, even before the mailbox is open. */
static inline void zolt_slave_init(ZoltSlave *slave) {
    memset(slave, 0, sizeof *slave);
#if defined(_WIN32)
    {
        /* Windows has no getppid: find the parent's id and hold a handle to
         * it, so that its end is seen even if the id is reused. */
        const DWORD self = GetCurrentProcessId();
        DWORD parent = 0;
        PROCESSENTRY32 entry;
        BOOL more;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return;
        memset(&entry, 0, sizeof entry);
        entry.dwSize = sizeof entry;
        for (more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (entry.th32ProcessID == self) {
                parent = entry.th32ParentProcessID;
                break;
            }
        }
        CloseHandle(snapshot);
        if (parent != 0) {
            /* A slow start may find its parent gone already, or its id
             * taken by a younger process. */
            FILETIME self_created, parent_created, unused[3];
            HANDLE host = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
            if (host == NULL) {
                slave->host_ended = GetLastError() == ERROR_INVALID_PARAMETER;
            } else if (GetProcessTimes(GetCurrentProcess(), &self_created, &unused[0], &unused[1], &unused[2]) &&
                       GetProcessTimes(host, &parent_created, &unused[0], &unused[1], &unused[2]) &&
                       CompareFileTime(&parent_created, &self_created) > 0) {
                CloseHandle(host);
                slave->host_ended = 1;
            } else {
                slave->host = host;
            }
        }
    }
#else
    slave->host = getppid();
#endif
}

/* Non-zero once the process that started the slave has ended. */
static inline int zolt_slave_host_gone(const ZoltSlave *slave) {
#if defined(_WIN32)
    return slave->host_ended || (slave->host != NULL && WaitForSingleObject(slave->host, 0) == WAIT_OBJECT_0);
#else
    return slave->host_ended || getppid() != slave->host;
#endif
}

/* Non-zero while a host holds the claim on program_path's stem, that is has
 * a channel of that stem open (see zolt_protocol.h). Only asks: it neither
 * takes nor keeps the claim. Where it cannot tell, it says yes, so a slave is
 * never ended by mistake. */
static inline int zolt_slave_stem_claimed(const char *program_path) {
    char name[ZOLT_CLAIM_NAME_CAPACITY];
#if defined(_WIN32)
    HANDLE claim;
    if (!zolt_claim_name(program_path, ZOLT_PATH_SEPARATOR, name)) return 1;
    claim = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (claim == NULL) return GetLastError() != ERROR_FILE_NOT_FOUND;
    CloseHandle(claim);
    return 1;
#else
    struct sockaddr_un address;
    size_t length;
    int probe;
    int claimed;
    if (!zolt_claim_name(program_path, ZOLT_PATH_SEPARATOR, name)) return 1;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    length = zolt_claim_address(name, address.sun_path, sizeof address.sun_path);
    if (length == 0) return 1;
    probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return 1;
    claimed = connect(probe, (const struct sockaddr *)&address,
                      (socklen_t)(offsetof(struct sockaddr_un, sun_path) + length)) == 0 ||
              errno != ECONNREFUSED;
    close(probe);
    return claimed;
#endif
}

/* Releases whatever zolt_slave_connect opened; the slave may be opened again. */
static inline void zolt_slave_close(ZoltSlave *slave) {
#if defined(_WIN32)
    if (slave->mailbox != NULL) UnmapViewOfFile(slave->mailbox);
    if (slave->event != NULL) CloseHandle(slave->event);
    if (slave->wake != NULL) CloseHandle(slave->wake);
    if (slave->host != NULL) CloseHandle(slave->host);
    slave->host = NULL;
    slave->wake = NULL;
    zolt_precise_sleep_close(&slave->nap);
#else
    if (slave->mailbox != NULL) munmap(slave->mailbox, ZOLT_MAILBOX_SIZE);
    if (slave->event != NULL) sem_close(slave->event);
#endif
    slave->mailbox = NULL;
    slave->event = NULL;
}

/* Opens the mailbox and the event of program_path's stem, for a slave set up
 * by zolt_slave_init. Returns 0, or -1 with the reason in slave->error. Never
 * touches the state byte: the first command may already be pending. */
static inline int zolt_slave_connect(ZoltSlave *slave, const char *program_path) {
    char mailbox_name[ZOLT_SLAVE_NAME_CAPACITY];
    char event_name[ZOLT_SLAVE_NAME_CAPACITY];
#if defined(_WIN32)
    char wake_name[ZOLT_CLAIM_NAME_CAPACITY];
#endif
    if (program_path == NULL) {
        snprintf(slave->error, sizeof slave->error, "no program path to derive the mailbox name from");
        return -1;
    }
    if (!zolt_slave_object_names(program_path, mailbox_name, event_name)) {
        snprintf(slave->error, sizeof slave->error,
                 "the path \"%.100s\" names no mailbox: it is empty, longer than %d bytes, or ends in a "
                 "folder separator",
                 program_path, ZOLT_MAX_SLAVE_PATH_LENGTH);
        return -1;
    }
#if defined(_WIN32)
    {
        HANDLE mapping;
        void *view;
        mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, mailbox_name);
        if (mapping == NULL) {
            DWORD code = GetLastError();
            snprintf(slave->error, sizeof slave->error, "cannot open mailbox %s: error %lu%s", mailbox_name,
                     (unsigned long)code, code == ERROR_FILE_NOT_FOUND ? ZOLT_SLAVE_NOT_STARTED_BY_A_HOST : "");
            return -1;
        }
        view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, ZOLT_MAILBOX_SIZE);
        /* The view keeps the mapping alive. */
        CloseHandle(mapping);
        if (view == NULL) {
            snprintf(slave->error, sizeof slave->error, "cannot map mailbox %s: error %lu", mailbox_name,
                     (unsigned long)GetLastError());
            return -1;
        }
        slave->event = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, event_name);
        if (slave->event == NULL) {
            snprintf(slave->error, sizeof slave->error, "cannot open event %s: error %lu", event_name,
                     (unsigned long)GetLastError());
            UnmapViewOfFile(view);
            return -1;
        }
        slave->mailbox = (unsigned char *)view;
        /* Optional: an older library makes none. */
        if (zolt_wake_name(program_path, ZOLT_PATH_SEPARATOR, wake_name))
            slave->wake = OpenEventA(SYNCHRONIZE, FALSE, wake_name);
    }
#else
    {
        struct stat info;
        void *mapped;
        int fd;
        int code;
        fd = shm_open(mailbox_name, O_RDWR, 0);
        if (fd < 0) {
            code = errno;
            snprintf(slave->error, sizeof slave->error, "cannot open mailbox %s: %s%s", mailbox_name, strerror(code),
                     code == ENOENT ? ZOLT_SLAVE_NOT_STARTED_BY_A_HOST : "");
            return -1;
        }
        /* Touching a mapping beyond the object's end would raise SIGBUS. */
        if (fstat(fd, &info) != 0 || info.st_size < (off_t)ZOLT_MAILBOX_SIZE) {
            snprintf(slave->error, sizeof slave->error, "mailbox %s is smaller than %d bytes", mailbox_name,
                     ZOLT_MAILBOX_SIZE);
            close(fd);
            return -1;
        }
        /* Pages for the whole mailbox, or a write to it on a full /dev/shm
         * would raise SIGBUS: the library reserves them, but a mailbox made
         * otherwise may have none. Where they are there already, this costs
         * nothing. */
        code = posix_fallocate(fd, 0, ZOLT_MAILBOX_SIZE);
        if (code != 0) {
            snprintf(slave->error, sizeof slave->error, "no room for mailbox %s: %s", mailbox_name, strerror(code));
            close(fd);
            errno = code;
            return -1;
        }
        mapped = mmap(NULL, ZOLT_MAILBOX_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        if (mapped == MAP_FAILED) {
            snprintf(slave->error, sizeof slave->error, "cannot map mailbox %s: %s", mailbox_name, strerror(errno));
            return -1;
        }
        slave->event = sem_open(event_name, 0);
        if (slave->event == SEM_FAILED) {
            snprintf(slave->error, sizeof slave->error, "cannot open event %s: %s", event_name, strerror(errno));
            slave->event = NULL;
            munmap(mapped, ZOLT_MAILBOX_SIZE);
            return -1;
        }
        slave->mailbox = (unsigned char *)mapped;
    }
#endif
    /* A host that ended before the slave looked for it may go unseen: on
     * Linux getppid() then names init or a subreaper already. Its claim went
     * with it, though. */
    if (!zolt_slave_stem_claimed(program_path)) slave->host_ended = 1;
    return 0;
}

/* zolt_slave_init, then zolt_slave_connect with the path the host gave (see
 * zolt_slave_started_path): what most slaves need. Pass main's argv[0].
 * Returns 0, or -1 with the reason in slave->error. */
static inline int zolt_slave_open(ZoltSlave *slave, const char *argv0) {
    char path[ZOLT_SLAVE_PATH_CAPACITY];
    zolt_slave_init(slave);
    return zolt_slave_connect(slave, zolt_slave_started_path(argv0, path));
}

/* The pending command, or NULL if none is pending; does not wait. The
 * command is a private copy: replying does not change it. */
static inline const char *zolt_slave_poll(ZoltSlave *slave) {
    const char *text;
    size_t length = 0;
    if (ZOLT_SLAVE_LOAD_STATE(slave->mailbox + ZOLT_STATE_OFFSET) == ZOLT_STATE_IDLE) return NULL;
    /* The host may have left no terminator: never read past the mailbox. */
    text = (const char *)slave->mailbox + ZOLT_TEXT_OFFSET;
    while (length < ZOLT_MAX_TEXT_LENGTH && text[length] != '\0') ++length;
    memcpy(slave->command, text, length);
    slave->command[length] = '\0';
    return slave->command;
}

/* Waits for the next command, napping between looks as described at
 * ZOLT_SLAVE_QUICK_NAPS. Returns it, or NULL once the host has ended. */
static inline const char *zolt_slave_wait(ZoltSlave *slave) {
    const char *command;
    unsigned long looks;
    int resting;
    for (looks = 0;; ++looks) {
        command = zolt_slave_poll(slave);
        if (command != NULL) break;
        resting = looks >= ZOLT_SLAVE_QUICK_NAPS;
        if (((resting && zolt_slave_rests_until_woken(slave)) || looks % ZOLT_SLAVE_LOOKS_PER_HOST_CHECK == 0) &&
            zolt_slave_host_gone(slave))
            break;
        zolt_slave_nap(slave, resting);
    }
#if defined(_WIN32)
    zolt_precise_sleep_rest(&slave->nap);
#endif
    return command;
}

/* The mailbox's text area, for a slave that writes its reply in place and
 * then calls zolt_slave_release. */
static inline char *zolt_slave_text(ZoltSlave *slave) { return (char *)slave->mailbox + ZOLT_TEXT_OFFSET; }

/* Hands the mailbox back to the host: whatever the text area holds now is the
 * reply. */
static inline void zolt_slave_release(ZoltSlave *slave) {
    ZOLT_SLAVE_STORE_STATE(slave->mailbox + ZOLT_STATE_OFFSET, ZOLT_STATE_IDLE);
}

/* Answers the pending command with text, cut to 1023 bytes. */
static inline void zolt_slave_reply(ZoltSlave *slave, const char *text) {
    char *area = zolt_slave_text(slave);
    size_t length = 0;
    while (length < ZOLT_MAX_TEXT_LENGTH && text[length] != '\0') ++length;
    /* text may lie in the text area itself. */
    memmove(area, text, length);
    area[length] = '\0';
    zolt_slave_release(slave);
}

/* Tells the host there is something to "Ask" for. Signal after replying:
 * the host asks through the same mailbox. Signals that pile up before the
 * host wakes count as one; it asks until "(nothing)". */
static inline void zolt_slave_signal(ZoltSlave *slave) {
#if defined(_WIN32)
    SetEvent(slave->event);
#else
    sem_post(slave->event);
#endif
}

/* Notifications waiting for the host to "Ask", oldest first, in storage that
 * the slave provides: a host that never asks cannot make the slave grow. */
typedef struct ZoltSlaveQueue {
    char (*entries)[ZOLT_TEXT_CAPACITY];
    size_t capacity;
    size_t head;
    size_t count;
} ZoltSlaveQueue;

/* An empty queue over entries[0 .. capacity-1]. */
static inline void zolt_slave_queue_init(ZoltSlaveQueue *queue, char (*entries)[ZOLT_TEXT_CAPACITY],
                                         size_t capacity) {
    queue->entries = entries;
    queue->capacity = capacity;
    queue->head = 0;
    queue->count = 0;
}

/* Copies text, cut to 1023 bytes. Returns 1, or 0 when the queue is full. */
static inline int zolt_slave_queue_push(ZoltSlaveQueue *queue, const char *text) {
    char *entry;
    size_t length = 0;
    if (queue->count == queue->capacity) return 0;
    entry = queue->entries[(queue->head + queue->count) % queue->capacity];
    while (length < ZOLT_MAX_TEXT_LENGTH && text[length] != '\0') ++length;
    memmove(entry, text, length);
    entry[length] = '\0';
    ++queue->count;
    return 1;
}

/* The oldest text, or NULL when none is left. Valid until the next push. */
static inline const char *zolt_slave_queue_pop(ZoltSlaveQueue *queue) {
    const char *oldest;
    if (queue->count == 0) return NULL;
    oldest = queue->entries[queue->head];
    queue->head = (queue->head + 1) % queue->capacity;
    --queue->count;
    return oldest;
}

/* Queues a notification and signals the host. Returns 1, or 0 when the
 * queue is full: then nothing is signalled, since every queued entry already
 * has a signal of its own. */
static inline int zolt_slave_notify(ZoltSlave *slave, ZoltSlaveQueue *queue, const char *text) {
    if (!zolt_slave_queue_push(queue, text)) return 0;
    zolt_slave_signal(slave);
    return 1;
}

/* Answers "Ask": the oldest notification, or "(nothing)". */
static inline void zolt_slave_answer_ask(ZoltSlave *slave, ZoltSlaveQueue *queue) {
    const char *next = zolt_slave_queue_pop(queue);
    zolt_slave_reply(slave, next != NULL ? next : ZOLT_REPLY_NOTHING);
}

#ifdef __cplusplus
}
#endif

#endif /* ZOLT_SLAVE_H */
