/*
 * zolt_slave.h: the slave's end of a Zolt channel, for C (C11) and C++
 * programs on Linux and Windows. Header only: include it, nothing to link
 * but -lrt on Linux with a glibc older than 2.34.
 *
 * The host starts a slave with the slave's path as its only argument. From
 * that path's stem (".../Name.ext" gives "Name") the host has already made
 * a 1025-byte mailbox and an event. The slave opens both, then loops: wait
 * for a command, act, reply. The host sends "Ask" after the slave signals the
 * event, and expects the next notification or exactly "(nothing)"; "Close"
 * is the last command of a channel.
 *
 *     ZoltSlave slave;
 *     const char *command;
 *     if (zolt_slave_open(&slave, argv[0]) != 0) {
 *         fprintf(stderr, "%s\n", slave.error);
 *         return 2;
 *     }
 *     while ((command = zolt_slave_wait(&slave)) != NULL) {
 *         if (strcmp(command, "Ask") == 0) zolt_slave_reply(&slave, ZOLT_SLAVE_NOTHING);
 *         else zolt_slave_reply(&slave, "done");
 *         if (strcmp(command, "Close") == 0) break;
 *     }
 *     zolt_slave_close(&slave);
 *
 * The queue at the end of this file keeps notifications until the host asks;
 * slaves/example/minimal_slave.c uses it.
 *
 * zolt_slave_wait returns NULL once the process that started the slave has
 * ended, so a slave never outlives a host that crashed.
 *
 * Nothing here is thread-safe: use a ZoltSlave from one thread at a time.
 */
#ifndef ZOLT_SLAVE_H
#define ZOLT_SLAVE_H

#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#  include <windows.h>
#  include <tlhelp32.h>
#else
#  include <fcntl.h>
#  include <semaphore.h>
#  include <sys/mman.h>
#  include <sys/stat.h>
#  include <sys/select.h>
#  include <unistd.h>
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

/* The text area after the state byte: one NUL-terminated text. */
#define ZOLT_SLAVE_TEXT_BYTES 1024
#define ZOLT_SLAVE_MAX_TEXT_LENGTH (ZOLT_SLAVE_TEXT_BYTES - 1)
#define ZOLT_SLAVE_MAILBOX_BYTES (1 + ZOLT_SLAVE_TEXT_BYTES)
/* The reply to "Ask" when no notification is left. */
#define ZOLT_SLAVE_NOTHING "(nothing)"
/* Longest stem: the host refuses paths of more than 99 characters anyway. */
#define ZOLT_SLAVE_MAX_STEM_LENGTH 120

typedef struct ZoltSlave {
    /* The mapped mailbox: byte 0 the state (0 idle, else a command is
     * pending), then the text area. */
    unsigned char *mailbox;
    /* The pending command, copied out of the mailbox by zolt_slave_poll. */
    char command[ZOLT_SLAVE_TEXT_BYTES];
    /* Why zolt_slave_open or zolt_slave_connect failed, as a sentence. */
    char error[256];
#if defined(_WIN32)
    HANDLE event;
    HANDLE host; /* the parent process, or NULL if it could not be found */
#else
    sem_t *event;
    pid_t host; /* the parent process when the slave started */
#endif
} ZoltSlave;

/* The stem of a program path: the file name after the last folder separator
 * ('/', and '\\' on Windows too) up to its last '.'. Returns 0, or -1 if the
 * stem does not fit in stem_size bytes. */
static inline int zolt_slave_stem(const char *program_path, char *stem, size_t stem_size) {
    const char *name = program_path;
    const char *end;
    const char *p;
    size_t length;
    for (p = program_path; *p != '\0'; ++p) {
#if defined(_WIN32)
        if (*p == '\\' || *p == '/') name = p + 1;
#else
        if (*p == '/') name = p + 1;
#endif
    }
    end = p;
    for (p = name; *p != '\0'; ++p)
        if (*p == '.') end = p;
    length = (size_t)(end - name);
    if (length >= stem_size) return -1;
    memcpy(stem, name, length);
    stem[length] = '\0';
    return 0;
}

/* Sleeps for one polling interval, at most a millisecond. */
static inline void zolt_slave_nap(void) {
#if defined(_WIN32)
    Sleep(1);
#else
    /* select, unlike nanosleep, is declared under strict C11 too. */
    struct timeval interval = {0, 100};
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
        if (parent != 0) slave->host = OpenProcess(SYNCHRONIZE, FALSE, parent);
    }
#else
    slave->host = getppid();
#endif
}

/* Non-zero once the process that started the slave has ended. */
static inline int zolt_slave_host_gone(const ZoltSlave *slave) {
#if defined(_WIN32)
    return slave->host != NULL && WaitForSingleObject(slave->host, 0) == WAIT_OBJECT_0;
#else
    return getppid() != slave->host;
#endif
}

/* Releases whatever zolt_slave_connect opened; the slave may be opened again. */
static inline void zolt_slave_close(ZoltSlave *slave) {
#if defined(_WIN32)
    if (slave->mailbox != NULL) UnmapViewOfFile(slave->mailbox);
    if (slave->event != NULL) CloseHandle(slave->event);
    if (slave->host != NULL) CloseHandle(slave->host);
    slave->host = NULL;
#else
    if (slave->mailbox != NULL) munmap(slave->mailbox, ZOLT_SLAVE_MAILBOX_BYTES);
    if (slave->event != NULL) sem_close(slave->event);
#endif
    slave->mailbox = NULL;
    slave->event = NULL;
}

/* Opens the mailbox and the event of program_path's stem, for a slave set up
 * by zolt_slave_init. Returns 0, or -1 with the reason in slave->error. Never
 * touches the state byte: the first command may already be pending. */
static inline int zolt_slave_connect(ZoltSlave *slave, const char *program_path) {
    char stem[ZOLT_SLAVE_MAX_STEM_LENGTH + 1];
    char mailbox_name[ZOLT_SLAVE_MAX_STEM_LENGTH + 4];
    char event_name[ZOLT_SLAVE_MAX_STEM_LENGTH + 4];
    if (program_path == NULL) {
        snprintf(slave->error, sizeof slave->error, "no program path to derive the mailbox name from");
        return -1;
    }
    if (zolt_slave_stem(program_path, stem, sizeof stem) != 0) {
        snprintf(slave->error, sizeof slave->error, "the program name is longer than %d characters",
                 ZOLT_SLAVE_MAX_STEM_LENGTH);
        return -1;
    }
#if defined(_WIN32)
    {
        HANDLE mapping;
        void *view;
        snprintf(mailbox_name, sizeof mailbox_name, "%sSM", stem);
        snprintf(event_name, sizeof event_name, "%sEM", stem);
        mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, mailbox_name);
        if (mapping == NULL) {
            snprintf(slave->error, sizeof slave->error, "cannot open mailbox %s: error %lu", mailbox_name,
                     (unsigned long)GetLastError());
            return -1;
        }
        view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, ZOLT_SLAVE_MAILBOX_BYTES);
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
    }
#else
    {
        struct stat info;
        void *mapped;
        int fd;
        snprintf(mailbox_name, sizeof mailbox_name, "/%sSM", stem);
        snprintf(event_name, sizeof event_name, "/%sEM", stem);
        fd = shm_open(mailbox_name, O_RDWR, 0);
        if (fd < 0) {
            snprintf(slave->error, sizeof slave->error, "cannot open mailbox %s: %s", mailbox_name, strerror(errno));
            return -1;
        }
        /* Touching a mapping beyond the object's end would raise SIGBUS. */
        if (fstat(fd, &info) != 0 || info.st_size < (off_t)ZOLT_SLAVE_MAILBOX_BYTES) {
            snprintf(slave->error, sizeof slave->error, "mailbox %s is smaller than %d bytes", mailbox_name,
                     ZOLT_SLAVE_MAILBOX_BYTES);
            close(fd);
            return -1;
        }
        mapped = mmap(NULL, ZOLT_SLAVE_MAILBOX_BYTES, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        if (mapped == MAP_FAILED) {
            snprintf(slave->error, sizeof slave->error, "cannot map mailbox %s: %s", mailbox_name, strerror(errno));
            return -1;
        }
        slave->event = sem_open(event_name, 0);
        if (slave->event == SEM_FAILED) {
            snprintf(slave->error, sizeof slave->error, "cannot open event %s: %s", event_name, strerror(errno));
            slave->event = NULL;
            munmap(mapped, ZOLT_SLAVE_MAILBOX_BYTES);
            return -1;
        }
        slave->mailbox = (unsigned char *)mapped;
    }
#endif
    return 0;
}

/* zolt_slave_init, then zolt_slave_connect: what most slaves need, with
 * argv[0] as the path. Returns 0, or -1 with the reason in slave->error. */
static inline int zolt_slave_open(ZoltSlave *slave, const char *program_path) {
    zolt_slave_init(slave);
    return zolt_slave_connect(slave, program_path);
}

/* The pending command, or NULL if none is pending; does not wait. The
 * command is a private copy: replying does not change it. */
static inline const char *zolt_slave_poll(ZoltSlave *slave) {
    const char *text;
    size_t length = 0;
    if (ZOLT_SLAVE_LOAD_STATE(slave->mailbox) == 0) return NULL;
    /* The host may have left no terminator: never read past the mailbox. */
    text = (const char *)slave->mailbox + 1;
    while (length < ZOLT_SLAVE_MAX_TEXT_LENGTH && text[length] != '\0') ++length;
    memcpy(slave->command, text, length);
    slave->command[length] = '\0';
    return slave->command;
}

/* Waits for the next command, polling as the host does. Returns it, or NULL
 * once the host has ended. */
static inline const char *zolt_slave_wait(ZoltSlave *slave) {
    for (;;) {
        const char *command = zolt_slave_poll(slave);
        if (command != NULL) return command;
        if (zolt_slave_host_gone(slave)) return NULL;
        zolt_slave_nap();
    }
}

/* The mailbox's text area, for a slave that writes its reply in place and
 * then calls zolt_slave_release. */
static inline char *zolt_slave_text(ZoltSlave *slave) { return (char *)slave->mailbox + 1; }

/* Hands the mailbox back to the host: whatever the text area holds now is the
 * reply. */
static inline void zolt_slave_release(ZoltSlave *slave) { ZOLT_SLAVE_STORE_STATE(slave->mailbox, 0); }

/* Answers the pending command with text, cut to 1023 characters. */
static inline void zolt_slave_reply(ZoltSlave *slave, const char *text) {
    char *area = zolt_slave_text(slave);
    size_t length = 0;
    while (length < ZOLT_SLAVE_MAX_TEXT_LENGTH && text[length] != '\0') ++length;
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
    char (*entries)[ZOLT_SLAVE_TEXT_BYTES];
    size_t capacity;
    size_t head;
    size_t count;
} ZoltSlaveQueue;

/* An empty queue over entries[0 .. capacity-1]. */
static inline void zolt_slave_queue_init(ZoltSlaveQueue *queue, char (*entries)[ZOLT_SLAVE_TEXT_BYTES],
                                         size_t capacity) {
    queue->entries = entries;
    queue->capacity = capacity;
    queue->head = 0;
    queue->count = 0;
}

/* Copies text, cut to 1023 characters. Returns 1, or 0 when the queue is full. */
static inline int zolt_slave_queue_push(ZoltSlaveQueue *queue, const char *text) {
    char *entry;
    size_t length = 0;
    if (queue->count == queue->capacity) return 0;
    entry = queue->entries[(queue->head + queue->count) % queue->capacity];
    while (length < ZOLT_SLAVE_MAX_TEXT_LENGTH && text[length] != '\0') ++length;
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
    zolt_slave_reply(slave, next != NULL ? next : ZOLT_SLAVE_NOTHING);
}

#ifdef __cplusplus
}
#endif

#endif /* ZOLT_SLAVE_H */
