#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "demo_platform.h"

namespace driver {

const char* const kSlavePath = "C:\\Datas\\Morva\\Brivex\\Brivex.exe";

// Text mode would turn each "\r\n" into "\r\r\n".
void useBinaryStandardOutput() { ::_setmode(::_fileno(stdout), _O_BINARY); }

}  // namespace driver
