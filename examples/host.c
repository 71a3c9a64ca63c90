/* A complete Zolt host: opens channel 0 to the slave named on the command
 * line, sends one command, waits for the slave's notification, closes. */
#include <pthread.h>
#include <stdio.h>

#include <zolt.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t arrived = PTHREAD_COND_INITIALIZER;
static char notification[ZOLT_TEXT_CAPACITY];

/* On the library's poller thread, once per notification: copy the text at
 * once, since the poller's next "Ask" replaces it. */
static void ZOLT_CALL on_notification(void) {
    pthread_mutex_lock(&lock);
    snprintf(notification, sizeof notification, "%s", ZoltMasterRead(0));
    pthread_cond_signal(&arrived);
    pthread_mutex_unlock(&lock);
}

int main(int argc, char **argv) {
    int8_t status = argc == 2 ? ZoltMasterOpen(0, argv[1]) : -1;
    if (status != ZOLT_OK) {
        fprintf(stderr, "usage: host PATH-TO-SLAVE (open: status %d)\n", status);
        return 1;
    }
    /* Read yields the reply to the host's latest write on the channel; the
     * poller's own "Ask" exchanges keep their replies apart. */
    status = ZoltMasterWrite(0, "world");
    if (status == ZOLT_OK) printf("reply: %s\n", ZoltMasterRead(0));
    pthread_mutex_lock(&lock);
    if (status == ZOLT_OK && ZoltMasterEvent(0, on_notification) == ZOLT_OK) {
        while (notification[0] == '\0') pthread_cond_wait(&arrived, &lock);
        printf("notification: %s\n", notification);
    }
    pthread_mutex_unlock(&lock);
    status = ZoltMasterClose(0); /* afterwards no callback runs or starts */
    printf("close: status %d, %s\n", status, ZoltMasterRead(0));
    return status == ZOLT_OK ? 0 : 1;
}
