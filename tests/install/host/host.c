/* A host built against the installed Zolt: one exchange, one notification
 * and the close, on the slave named by its argument. */
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "zolt.h"

static char notification[ZOLT_MAX_TEXT_LENGTH + 1];
static atomic_int notified;

static void ZOLT_CALL onNotification(void) {
    strncpy(notification, ZoltMasterRead(0), ZOLT_MAX_TEXT_LENGTH);
    atomic_store(&notified, 1);
}

int main(int argc, char **argv) {
    struct timespec tick = {0, 10 * 1000 * 1000};
    int ticks;
    int8_t status;
    if (argc != 2) return 2;
    if ((status = ZoltMasterOpen(0, argv[1])) != ZOLT_OK) {
        printf("open: %d\n", status);
        return 1;
    }
    /* Written before the poller may run, so the reply read is this one. */
    status = ZoltMasterWrite(0, "SendF>installed");
    printf("write: %d: %s\n", status, status == ZOLT_OK ? ZoltMasterRead(0) : "");
    status = ZoltMasterEvent(0, onNotification);
    for (ticks = 0; status == ZOLT_OK && !atomic_load(&notified) && ticks < 1000; ++ticks)
        nanosleep(&tick, NULL);
    printf("notification: %s\n", atomic_load(&notified) ? notification : "(none)");
    status = ZoltMasterClose(0);
    printf("close: %d: %s\n", status, ZoltMasterRead(0));
    return 0;
}
