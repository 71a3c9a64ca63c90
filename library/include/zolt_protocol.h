/*
 * zolt_protocol.h: the mailbox protocol between a Zolt host and its slaves,
 * written once for both ends. The library, the slave kit and every tool take
 * their sizes, states, names and reserved texts from here. C11 and C++.
 * The headers that both ends share live in this folder: this one and
 * zolt_precise_sleep.h.
 *
 * A channel talks to its slave through two named objects, both named after
 * the stem of the slave's path:
 *   stem + "SM"  a 1025-byte shared-memory mailbox: byte 0 is the state
 *                (0 idle, anything else a request pending), bytes 1 to 1024
 *                one NUL-terminated text of at most 1023 bytes;
 *   stem + "EM"  an auto-reset event the slave signals when it has
 *                notifications for the host.
 * On Linux both names get a leading "/" (shm_open and sem_open names):
 * ZOLT_SYSTEM_NAME_PREFIX, added by zolt_system_name.
 *
 * While a channel is open its host also holds a claim on the stem, so that
 * no second channel, in this process or another, shares the two objects:
 *   stem + ".claim"  on Linux an abstract Unix socket (a leading NUL byte),
 *                on Windows a mutex. Either is gone as soon as its process
 *                is, and its name ends in lower case, so it is never the
 *                name of a slave's object.
 *
 * On Windows the library also makes, at open, a third named object that a
 * slave may use and never needs:
 *   stem + ".wake"  an auto-reset event, set right after every raise of the
 *                state byte, so that a resting slave can wait on it instead
 *                of napping. A slave that does not find it (an older
 *                library) naps as before.
 */
#ifndef ZOLT_PROTOCOL_H
#define ZOLT_PROTOCOL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZOLT_MAILBOX_SIZE 1025
#define ZOLT_STATE_OFFSET 0
#define ZOLT_TEXT_OFFSET 1
#define ZOLT_TEXT_CAPACITY 1024 /* 1023 bytes and the NUL */
#define ZOLT_MAX_TEXT_LENGTH (ZOLT_TEXT_CAPACITY - 1)

#define ZOLT_STATE_IDLE 0    /* the text area holds the last reply */
#define ZOLT_STATE_PENDING 1 /* the text area holds a command */

/* How long the host waits for the mailbox, twice per exchange: this many
 * sleeps of one millisecond. A slave must answer within it. */
#define ZOLT_SLEEPS_PER_WAIT 4000

/* Linux: right after raising the state byte the host wakes every futex
 * waiter on the mailbox's first 32-bit word, the one that holds the state
 * byte. A slave may wait there, with a time limit, rather than look again
 * and again; a slave that only looks notices nothing of it. */
#define ZOLT_WAKE_WORD_OFFSET 0

#define ZOLT_MAILBOX_SUFFIX "SM"
#define ZOLT_EVENT_SUFFIX "EM"
#define ZOLT_CLAIM_SUFFIX ".claim"
#define ZOLT_WAKE_SUFFIX ".wake"

/* Commands the library sends by itself, and the one reply it looks at. */
#define ZOLT_COMMAND_ASK "Ask"     /* answer with the next notification... */
#define ZOLT_REPLY_NOTHING "(nothing)" /* ...or exactly this when none is left */
#define ZOLT_COMMAND_CLOSE "Close" /* the last command of a channel */

/* The longest slave path the host accepts, and so the longest stem. */
#define ZOLT_MAX_SLAVE_PATH_LENGTH 99
/* Room for one object name: a stem, a two-letter suffix and the NUL. */
#define ZOLT_OBJECT_NAME_CAPACITY (ZOLT_MAX_SLAVE_PATH_LENGTH + 3)
/* Room for a claim's name: a stem, ZOLT_CLAIM_SUFFIX and the NUL (7 bytes);
 * the wake-up event's name, with the shorter ZOLT_WAKE_SUFFIX, fits too. */
#define ZOLT_CLAIM_NAME_CAPACITY (ZOLT_MAX_SLAVE_PATH_LENGTH + 7)

/* What the system's name of an object adds before the object's name. */
#if defined(_WIN32)
#  define ZOLT_SYSTEM_NAME_PREFIX ""
#else
#  define ZOLT_SYSTEM_NAME_PREFIX "/"
#endif
/* Room for any system name: the prefix, then an object's name or a claim's,
 * with its NUL. */
#define ZOLT_SYSTEM_NAME_CAPACITY (ZOLT_CLAIM_NAME_CAPACITY + 1)

/* Linux: where the objects live as files. shm_open's objects are the files
 * ZOLT_SHARED_MEMORY_FOLDER + "/" + name, and glibc keeps a named semaphore
 * in the file ZOLT_SEMAPHORE_FILE_PREFIX + name (the name without its "/"). */
#define ZOLT_SHARED_MEMORY_FOLDER "/dev/shm"
#define ZOLT_SEMAPHORE_FILE_PREFIX "/dev/shm/sem."

/* Linux: a claim is the abstract Unix socket address made of a NUL byte and
 * the claim's name, with no NUL after it. Writes it into address, which
 * holds `capacity` bytes (a sockaddr_un's sun_path), and returns its length,
 * or 0 when it does not fit. Add offsetof(struct sockaddr_un, sun_path) for
 * bind and connect. */
static inline size_t zolt_claim_address(const char *claim_name, char *address, size_t capacity) {
    size_t length = 0;
    size_t i;
    while (claim_name[length] != '\0') ++length;
    if (length + 1 > capacity) return 0;
    address[0] = '\0';
    for (i = 0; i < length; ++i) address[1 + i] = claim_name[i];
    return length + 1;
}

/* The one folder separator of the stem rule: only the backslash on Windows,
 * only the slash elsewhere. */
#if defined(_WIN32)
#  define ZOLT_PATH_SEPARATOR '\\'
#else
#  define ZOLT_PATH_SEPARATOR '/'
#endif

/* The stem rule. The file name is the text after the last separator (the
 * whole path without one); the stem is the file name cut at its last period
 * (the whole file name without one). So "C:\Datas\Brivex.exe" gives
 * "Brivex", "a.b.exe" gives "a.b" and ".exe" the empty stem.
 * Refuses (returns 0) a null or empty path, one longer than
 * ZOLT_MAX_SLAVE_PATH_LENGTH, and one that ends with the separator. On
 * success returns 1 with *stem pointing into path and *stem_length set. */
static inline int zolt_find_stem(const char *path, char separator, const char **stem, size_t *stem_length) {
    const char *file_name;
    const char *end;
    const char *p;
    size_t length = 0;
    if (path == NULL) return 0;
    while (length <= ZOLT_MAX_SLAVE_PATH_LENGTH && path[length] != '\0') ++length;
    if (length == 0 || length > ZOLT_MAX_SLAVE_PATH_LENGTH) return 0;
    file_name = path;
    for (p = path; *p != '\0'; ++p)
        if (*p == separator) file_name = p + 1;
    if (*file_name == '\0') return 0;
    end = p;
    for (p = file_name; *p != '\0'; ++p)
        if (*p == '.') end = p;
    *stem = file_name;
    *stem_length = (size_t)(end - file_name);
    return 1;
}

/* Writes the stem of path followed by suffix (ZOLT_MAILBOX_SUFFIX or
 * ZOLT_EVENT_SUFFIX) into name, which holds ZOLT_OBJECT_NAME_CAPACITY bytes.
 * Returns 0 if the stem rule refuses the path, else 1. */
static inline int zolt_object_name(const char *path, char separator, const char *suffix,
                                   char name[ZOLT_OBJECT_NAME_CAPACITY]) {
    const char *stem;
    size_t stem_length;
    size_t i;
    if (!zolt_find_stem(path, separator, &stem, &stem_length)) return 0;
    for (i = 0; i < stem_length; ++i) name[i] = stem[i];
    for (i = 0; i < 2; ++i) name[stem_length + i] = suffix[i];
    name[stem_length + 2] = '\0';
    return 1;
}

/* Writes the stem of path followed by a suffix of up to 6 bytes
 * (ZOLT_CLAIM_SUFFIX or ZOLT_WAKE_SUFFIX) into name, which holds
 * ZOLT_CLAIM_NAME_CAPACITY bytes. Returns 0 if the stem rule refuses the path,
 * else 1. */
static inline int zolt_lower_case_name(const char *path, char separator, const char *suffix,
                                       char name[ZOLT_CLAIM_NAME_CAPACITY]) {
    const char *stem;
    size_t stem_length;
    size_t i;
    if (!zolt_find_stem(path, separator, &stem, &stem_length)) return 0;
    for (i = 0; i < stem_length; ++i) name[i] = stem[i];
    for (i = 0; suffix[i] != '\0'; ++i) name[stem_length + i] = suffix[i];
    name[stem_length + i] = '\0';
    return 1;
}

/* Writes the stem of path followed by ZOLT_CLAIM_SUFFIX into name, which
 * holds ZOLT_CLAIM_NAME_CAPACITY bytes. Returns 0 if the stem rule refuses
 * the path, else 1. */
static inline int zolt_claim_name(const char *path, char separator, char name[ZOLT_CLAIM_NAME_CAPACITY]) {
    return zolt_lower_case_name(path, separator, ZOLT_CLAIM_SUFFIX, name);
}

/* The same with ZOLT_WAKE_SUFFIX: the name of the slave's wake-up event. */
static inline int zolt_wake_name(const char *path, char separator, char name[ZOLT_CLAIM_NAME_CAPACITY]) {
    return zolt_lower_case_name(path, separator, ZOLT_WAKE_SUFFIX, name);
}

/* Writes ZOLT_SYSTEM_NAME_PREFIX and name (an object's name) into
 * system_name, which holds ZOLT_SYSTEM_NAME_CAPACITY bytes. Returns 0 if
 * that does not fit, else 1. */
static inline int zolt_system_name(const char *name, char system_name[ZOLT_SYSTEM_NAME_CAPACITY]) {
    const char prefix[] = ZOLT_SYSTEM_NAME_PREFIX;
    size_t length = 0;
    size_t i;
    while (name[length] != '\0') ++length;
    if (sizeof prefix + length > ZOLT_SYSTEM_NAME_CAPACITY) return 0;
    for (i = 0; i + 1 < sizeof prefix; ++i) system_name[i] = prefix[i];
    for (i = 0; i <= length; ++i) system_name[sizeof prefix - 1 + i] = name[i];
    return 1;
}

#ifdef __cplusplus
}
#endif

#endif /* ZOLT_PROTOCOL_H */
