#include <fcntl.h>
#include <semaphore.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "test_platform.h"

namespace zolt_test {

void setEnvironment(const char* name, const char* value) { ::setenv(name, value, 1); }
void clearEnvironment(const char* name) { ::unsetenv(name); }

bool signalEvent(const std::string& stem, int times) {
    sem_t* event = ::sem_open(("/" + stem + "EM").c_str(), 0);
    if (event == SEM_FAILED) return false;
    for (int i = 0; i < times; ++i) ::sem_post(event);
    ::sem_close(event);
    return true;
}

int currentProcessId() { return static_cast<int>(::getpid()); }

ProgramRun runProgram(const std::string& program, const std::string& folder) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::unsetenv("LD_LIBRARY_PATH");
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    ProgramRun run;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        run.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace zolt_test
