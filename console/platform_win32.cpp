#include <windows.h>

#include <atomic>

#include "platform.h"

namespace console {
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
