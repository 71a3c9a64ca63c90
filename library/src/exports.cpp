// The five functions that hosts bind by name. Nothing may escape them: every
// outcome is a status.
#include "library.h"
#include "zolt.h"

extern "C" {

ZOLT_API int8_t ZOLT_CALL ZoltMasterOpen(int8_t channel, const char* slavePath) {
    return zolt::theLibrary().open(channel, slavePath);
}

ZOLT_API int8_t ZOLT_CALL ZoltMasterWrite(int8_t channel, const char* command) {
    return zolt::theLibrary().write(channel, command);
}

ZOLT_API const char* ZOLT_CALL ZoltMasterRead(int8_t channel) { return zolt::theLibrary().read(channel); }

ZOLT_API int8_t ZOLT_CALL ZoltMasterEvent(int8_t channel, NotifyCallback callback) {
    return zolt::theLibrary().event(channel, callback);
}

ZOLT_API int8_t ZOLT_CALL ZoltMasterClose(int8_t channel) { return zolt::theLibrary().close(channel); }

}  // extern "C"
