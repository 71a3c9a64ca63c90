#include <windows.h>

#include "test_platform.h"

namespace zolt_test {

void setEnvironment(const char* name, const char* value) { ::SetEnvironmentVariableA(name, value); }
void clearEnvironment(const char* name) { ::SetEnvironmentVariableA(name, nullptr); }

bool signalEvent(const std::string& stem, int times) {
    HANDLE event = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, (stem + "EM").c_str());
    if (event == nullptr) return false;
    for (int i = 0; i < times; ++i) ::SetEvent(event);
    ::CloseHandle(event);
    return true;
}

int currentProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

ProgramRun runProgram(const std::string& program, const std::string& folder) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return {};
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION started{};
    std::string commandLine = "\"" + program + "\"";
    const BOOL ok = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                     folder.c_str(), &startup, &started);
    ::CloseHandle(writeEnd);
    ProgramRun run;
    if (!ok) {
        ::CloseHandle(readEnd);
        return run;
    }
    char buffer[256];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
    ::CloseHandle(readEnd);
    ::WaitForSingleObject(started.hProcess, INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(started.hProcess, &exitCode);
    run.exitCode = static_cast<int>(exitCode);
    ::CloseHandle(started.hProcess);
    ::CloseHandle(started.hThread);
    return run;
}

StartedProgram::StartedProgram(const std::string& program, std::string commandLine, const std::string& folder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                          &startup, &started))
        return;
    ::CloseHandle(started.hThread);
    process_ = started.hProcess;
}

StartedProgram::~StartedProgram() {
    if (process_ == nullptr) return;
    if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_, 1);
    ::CloseHandle(process_);
}

long StartedProgram::exitCode(unsigned long milliseconds) {
    if (process_ == nullptr || ::WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

}  // namespace zolt_test
