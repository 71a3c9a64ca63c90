// A library named like Zolt that lacks ZoltMasterWrite, for the driver's test.
#include "zolt.h"

extern "C" {
ZOLT_API int8_t ZOLT_CALL ZoltMasterOpen(int8_t, const char*) { return ZOLT_OK; }
ZOLT_API int8_t ZOLT_CALL ZoltMasterClose(int8_t) { return ZOLT_OK; }
}
