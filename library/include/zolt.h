/*
 * Zolt: start up to eight slave programs and drive them by text commands.
 *
 * A host loads the library at run time and binds these five functions by name.
 * Each channel (0 to 7) joins the host to one slave program through a named
 * 1025-byte shared-memory mailbox and a named event; docs/slave-guide.md
 * holds the mailbox contract that slave programs keep.
 */
#ifndef ZOLT_H
#define ZOLT_H

#include <stdint.h>

#include "zolt_protocol.h" /* the mailbox's sizes and reserved texts */

#if defined(_WIN32)
#  define ZOLT_CALL __cdecl
#  if defined(ZOLT_BUILDING_LIBRARY)
#    define ZOLT_API __declspec(dllexport)
#  else
#    define ZOLT_API __declspec(dllimport)
#  endif
#else
#  define ZOLT_CALL
#  define ZOLT_API __attribute__((visibility("default")))
#endif

/* The version of this header, the library's release. Hosts built against
 * 0.<minor>.x run with any library of the same soname, libZolt.so.0.<minor>. */
#define ZOLT_VERSION_MAJOR 0
#define ZOLT_VERSION_MINOR 1
#define ZOLT_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

/* Called on the channel's own poller thread, once per notification of the
 * slave. When it starts, ZoltMasterRead on its channel yields that
 * notification. It may call any of the five functions on any channel: the
 * library holds no lock while it runs. */
typedef void(ZOLT_CALL *NotifyCallback)(void);

/* Status codes. 0 is success for every function; the meaning of the others
 * depends on the function, hence one set of names per function. */
enum {
    ZOLT_OK = 0,

    /* ZoltMasterOpen */
    ZOLT_OPEN_SHARED_MEMORY_FAILED = 1, /* creating the mailbox failed */
    ZOLT_OPEN_MAPPING_FAILED = 2,       /* mapping the mailbox failed */
    ZOLT_OPEN_START_FAILED = 3,         /* slave not started, or bad path */
    ZOLT_OPEN_ALREADY_OPEN = 4,         /* the channel is already open */
    ZOLT_OPEN_NO_POLLER = 5,            /* no poller thread, or bad channel */
    ZOLT_OPEN_EVENT_FAILED = 6,         /* creating the event failed */
    ZOLT_OPEN_STEM_IN_USE = 7,          /* another open channel, of this host or another, has the stem */

    /* ZoltMasterWrite and ZoltMasterClose */
    ZOLT_WRITE_MAILBOX_BUSY = 1,      /* the slave did not free the mailbox in time */
    ZOLT_WRITE_SLAVE_ENDED = 2,       /* the slave process no longer runs */
    ZOLT_WRITE_NOT_OPEN = 3,          /* the channel is not open, or bad channel */
    ZOLT_WRITE_REPLY_TIMEOUT = 4,     /* the slave did not reply in time */
    ZOLT_WRITE_COMMAND_REFUSED = 5,   /* command null or longer than 1023 bytes */

    /* ZoltMasterEvent */
    ZOLT_EVENT_NOT_OPEN = 3 /* the channel is not open, or bad channel */
};

/* Channels are numbered 0 to ZOLT_CHANNEL_COUNT - 1. */
#define ZOLT_CHANNEL_COUNT 8

/* Opens a channel: creates its mailbox and event, named after the slave's
 * file name, and starts the slave. Does not wait for the slave to be ready. */
ZOLT_API int8_t ZOLT_CALL ZoltMasterOpen(int8_t channel, const char *slavePath);

/* Sends one command of at most ZOLT_MAX_TEXT_LENGTH bytes and waits for the
 * reply: up to 4000 sleeps of 1 ms for the mailbox to be free, and as many
 * again for the reply. */
ZOLT_API int8_t ZOLT_CALL ZoltMasterWrite(int8_t channel, const char *command);

/* The reply of the host's latest successful exchange on the channel (empty
 * before the first); inside the channel's own callback, the notification or
 * the reply to the callback's own latest exchange on it. The poller's "Ask"
 * and the host's exchanges keep their replies apart. Each address stays the
 * same and valid while the library is loaded; its text changes with each
 * successful exchange that fills it. */
ZOLT_API const char *ZOLT_CALL ZoltMasterRead(int8_t channel);

/* Registers the notification callback (null is allowed: notifications are
 * then left with the slave) and lets the channel's poller run. */
ZOLT_API int8_t ZOLT_CALL ZoltMasterEvent(int8_t channel, NotifyCallback callback);

/* Sends "Close" as a last exchange and yields its status; the channel is
 * closed whatever that status is. The slave process is left to end itself. */
ZOLT_API int8_t ZOLT_CALL ZoltMasterClose(int8_t channel);

#ifdef __cplusplus
}
#endif

#endif /* ZOLT_H */
