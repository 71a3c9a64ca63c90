#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform.h"

namespace console {

std::string lastSystemError() {
    const int error = errno;
    return error == 0 ? std::string() : std::string(std::strerror(error));
}

void clearSystemError() { errno = 0; }

namespace {

volatile sig_atomic_t interruptSeen = 0;

void onInterrupt(int) { interruptSeen = 1; }

}  // namespace

bool standardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

// A slave keeps an ignored signal ignored across its exec.
void ignoreInterrupt() { ::signal(SIGINT, SIG_IGN); }

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the read that waits for the next line must end.
    action.sa_flags = SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
}

bool interrupted() { return interruptSeen != 0; }

}  // namespace console
