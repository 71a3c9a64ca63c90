/* A slave written without the slave kit, the way a third party writes one
 * from the mailbox contract: plain Win32 calls, its own handle and size
 * types, and of this project only the protocol header's sizes and name rule.
 * It names its objects after its own file and serves until "Close".
 *   notify>TEXT   replies "queued", then signals: TEXT waits for "Ask"
 *                 (or "full" when eight wait already)
 *   late>PATH     replies "late" once the file PATH exists
 *   anything else replies "plain:" and the command
 * The tests drive it from hosts of the other width. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "zolt_protocol.h"

#define QUEUE_CAPACITY 8

static char queue[QUEUE_CAPACITY][ZOLT_TEXT_CAPACITY];
static size_t queue_head;
static size_t queue_count;

static unsigned char *mailbox;
static HANDLE event;

/* The state byte guards the text: the text is read only after the byte,
 * and the byte lowered only after the reply is written. */
static unsigned char state(void) {
    const unsigned char value = *(volatile unsigned char *)mailbox;
    MemoryBarrier();
    return value;
}

static void reply(const char *text) {
    char *area = (char *)mailbox + ZOLT_TEXT_OFFSET;
    size_t length = strlen(text);
    if (length > ZOLT_MAX_TEXT_LENGTH) length = ZOLT_MAX_TEXT_LENGTH;
    memcpy(area, text, length);
    area[length] = '\0';
    MemoryBarrier();
    *(volatile unsigned char *)mailbox = ZOLT_STATE_IDLE;
}

static int open_objects(void) {
    char path[MAX_PATH + 1];
    char mailbox_name[ZOLT_OBJECT_NAME_CAPACITY];
    char event_name[ZOLT_OBJECT_NAME_CAPACITY];
    const char *file_name;
    HANDLE mapping;
    const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    path[length] = '\0';
    file_name = strrchr(path, '\\');
    file_name = file_name != NULL ? file_name + 1 : path;
    if (!zolt_object_name(file_name, ZOLT_PATH_SEPARATOR, ZOLT_MAILBOX_SUFFIX, mailbox_name) ||
        !zolt_object_name(file_name, ZOLT_PATH_SEPARATOR, ZOLT_EVENT_SUFFIX, event_name))
        return 0;
    mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, mailbox_name);
    if (mapping == NULL) return 0;
    mailbox = (unsigned char *)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, ZOLT_MAILBOX_SIZE);
    CloseHandle(mapping);
    event = OpenEventA(EVENT_MODIFY_STATE, FALSE, event_name);
    return mailbox != NULL && event != NULL;
}

/* Answers one command; returns 0 once "Close" is answered. */
static int serve(const char *command) {
    char text[ZOLT_TEXT_CAPACITY + 8];
    if (strcmp(command, ZOLT_COMMAND_CLOSE) == 0) {
        reply("Bye");
        return 0;
    }
    if (strcmp(command, ZOLT_COMMAND_ASK) == 0) {
        if (queue_count == 0) {
            reply(ZOLT_REPLY_NOTHING);
        } else {
            reply(queue[queue_head]);
            queue_head = (queue_head + 1) % QUEUE_CAPACITY;
            --queue_count;
        }
    } else if (strncmp(command, "notify>", 7) == 0) {
        if (queue_count == QUEUE_CAPACITY) {
            reply("full");
            return 1;
        }
        strcpy(queue[(queue_head + queue_count) % QUEUE_CAPACITY], command + 7);
        ++queue_count;
        reply("queued");
        SetEvent(event);
    } else if (strncmp(command, "late>", 5) == 0) {
        while (GetFileAttributesA(command + 5) == INVALID_FILE_ATTRIBUTES) Sleep(1);
        reply("late");
    } else {
        snprintf(text, sizeof text, "plain:%s", command);
        reply(text);
    }
    return 1;
}

int main(void) {
    char command[ZOLT_TEXT_CAPACITY];
    if (!open_objects()) {
        fprintf(stderr, "IndependentSlave: no mailbox or event to open, error %lu\n", (unsigned long)GetLastError());
        return 2;
    }
    for (;;) {
        size_t length = 0;
        const char *text = (const char *)mailbox + ZOLT_TEXT_OFFSET;
        if (state() == ZOLT_STATE_IDLE) {
            Sleep(1);
            continue;
        }
        /* The host may have left no terminator. */
        while (length < ZOLT_MAX_TEXT_LENGTH && text[length] != '\0') ++length;
        memcpy(command, text, length);
        command[length] = '\0';
        if (!serve(command)) return 0;
    }
}
