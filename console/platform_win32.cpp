#include <windows.h>

#include <atomic>
#include <string>

#include "platform.h"

namespace console {

std::string lastSystemError() {
    const DWORD error = ::GetLastError();
    if (error == 0) return {};
    char text[512];
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                    0, text, static_cast<DWORD>(sizeof text), nullptr);
    // The system's sentence ends in a period and a line break; ours adds its own.
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
    if (length == 0) return "error " + std::to_string(error);
    return std::string(text, length);
}

void clearSystemError() { ::SetLastError(0); }

namespace {

std::atomic<bool> interruptSeen{false};

// Runs on a thread of its own. Handled once; the next Ctrl-C goes on to the
// default handler, which ends the program.
BOOL WINAPI onControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    return interruptSeen.exchange(true) ? FALSE : TRUE;
}

}  // namespace

// _isatty says yes for any character device, NUL included: only a console
// has a console mode.
bool standardInputIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// Child processes inherit the ignoring of Ctrl-C.
void ignoreInterrupt() { ::SetConsoleCtrlHandler(nullptr, TRUE); }

void catchInterrupt() {
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

bool interrupted() { return interruptSeen.load(); }

}  // namespace console
