#include "status_words.h"

#include "zolt.h"

namespace console {

namespace {

const char* commandRefused() {
    static const std::string sentence =
        "command refused: longer than " + std::to_string(ZOLT_MAX_TEXT_LENGTH) + " bytes";
    return sentence.c_str();
}

}  // namespace

const char* meaningOf(Call call, std::int8_t status) {
    if (status == ZOLT_OK) {
        switch (call) {
            case Call::Open: return "channel open, slave started";
            case Call::Event: return "callback stored";
            case Call::Write:
            case Call::Close: return "reply received";
        }
    }
    if (call == Call::Open) {
        switch (status) {
            case ZOLT_OPEN_SHARED_MEMORY_FAILED: return "creating the shared memory failed";
            case ZOLT_OPEN_MAPPING_FAILED: return "mapping the shared memory failed";
            case ZOLT_OPEN_START_FAILED: return "starting the slave failed, or unusable path";
            case ZOLT_OPEN_ALREADY_OPEN: return "the channel is already open";
            case ZOLT_OPEN_NO_POLLER: return "the channel has no poller thread";
            case ZOLT_OPEN_EVENT_FAILED: return "creating the event failed";
            case ZOLT_OPEN_STEM_IN_USE: return "another open channel, of this host or another, has the slave's stem";
            default: return "unknown status";
        }
    }
    if (call == Call::Event)
        return status == ZOLT_EVENT_NOT_OPEN ? "the channel is not open" : "unknown status";
    switch (status) {
        case ZOLT_WRITE_MAILBOX_BUSY: return "the slave did not free the mailbox in time";
        case ZOLT_WRITE_SLAVE_ENDED: return "the slave process no longer runs";
        case ZOLT_WRITE_NOT_OPEN: return "the channel is not open";
        case ZOLT_WRITE_REPLY_TIMEOUT: return "the slave did not reply in time";
        case ZOLT_WRITE_COMMAND_REFUSED: return commandRefused();
        default: return "unknown status";
    }
}

std::string describe(Call call, std::int8_t status) {
    const char* name = call == Call::Open ? "open" : call == Call::Write ? "write" : call == Call::Event ? "event" : "close";
    return std::string(name) + " " + std::to_string(status) + " (" + meaningOf(call, status) + ")";
}

}  // namespace console
