/* A complete Zolt slave on the kit: greets whatever it is sent, then tells
 * the host so through a notification. */
#include <stdio.h>
#include <string.h>

#include <zolt_slave.h>

static char waiting[16][ZOLT_TEXT_CAPACITY]; /* notifications not yet asked for */

int main(int argc, char **argv) {
    ZoltSlave slave;
    ZoltSlaveQueue notes;
    const char *command;
    char text[16 + ZOLT_TEXT_CAPACITY]; /* the kit cuts texts to 1023 bytes */
    /* The mailbox's name comes from the path the host started us with. */
    if (zolt_slave_open(&slave, argc > 0 ? argv[0] : NULL) != 0) {
        fprintf(stderr, "%s\n", slave.error);
        return 2;
    }
    zolt_slave_queue_init(&notes, waiting, 16);
    while ((command = zolt_slave_wait(&slave)) != NULL) { /* NULL: the host is gone */
        if (strcmp(command, ZOLT_COMMAND_ASK) == 0) {
            zolt_slave_answer_ask(&slave, &notes); /* the next notification, or "(nothing)" */
        } else if (strcmp(command, ZOLT_COMMAND_CLOSE) == 0) {
            zolt_slave_reply(&slave, "Bye");
            break;
        } else {
            snprintf(text, sizeof text, "Hello, %s", command);
            zolt_slave_reply(&slave, text);
            snprintf(text, sizeof text, "greeted %s", command);
            zolt_slave_notify(&slave, &notes, text);
        }
    }
    zolt_slave_close(&slave);
    return 0;
}
