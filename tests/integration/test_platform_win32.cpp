#include <windows.h>
#include <tlhelp32.h>

#include <cstring>

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
int currentThreadId() { return static_cast<int>(::GetCurrentThreadId()); }

// Windows shows a test no thread's wait state: a grace, ample when idle, has to do.
bool waitUntilBlockedOrDone(int, const std::atomic<bool>& done, std::chrono::milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (!done && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
}

bool waitUntilWaitingOnSharedObject(int, std::chrono::milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
}

bool killProcess(int pid) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return false;
    const bool gone =
        ::TerminateProcess(process, 1) && ::WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return gone;
}

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

bool programRunning(const std::string& programPath) {
    const std::string fileName = programPath.substr(programPath.find_last_of('\\') + 1);
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found; more = ::Process32Next(snapshot, &entry)) {
        found = ::lstrcmpiA(entry.szExeFile, fileName.c_str()) == 0;
    }
    ::CloseHandle(snapshot);
    return found;
}

void removeChannelObjects(const std::string&) {}

bool stemClaimed(const std::string& stem) {
    HANDLE claim = ::OpenMutexA(SYNCHRONIZE, FALSE, (stem + ZOLT_CLAIM_SUFFIX).c_str());
    if (claim == nullptr) return false;
    ::CloseHandle(claim);
    return true;
}

SignalThief::SignalThief(const std::string& stem) {
    HANDLE event = ::OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (stem + "EM").c_str());
    if (event == nullptr) return;
    event_ = event;
    thread_ = std::thread([this, event] {
        while (!stop_) {
            if (::WaitForSingleObject(event, 1) == WAIT_OBJECT_0) ++taken_;
        }
    });
}

SignalThief::~SignalThief() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (event_ != nullptr) ::CloseHandle(static_cast<HANDLE>(event_));
}

OtherProcess::OtherProcess(const std::string& program, const std::vector<std::string>& arguments) {
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started))
        return;
    ::CloseHandle(started.hThread);
    process_ = reinterpret_cast<std::intptr_t>(started.hProcess);
    started_ = true;
}

OtherProcess::~OtherProcess() {
    if (!started_) return;
    kill();
    ::CloseHandle(reinterpret_cast<HANDLE>(process_));
}

int OtherProcess::exitCode(std::chrono::milliseconds limit) {
    if (!started_) return -1;
    HANDLE process = reinterpret_cast<HANDLE>(process_);
    if (::WaitForSingleObject(process, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return static_cast<int>(code);
}

void OtherProcess::kill() {
    if (!started_) return;
    HANDLE process = reinterpret_cast<HANDLE>(process_);
    if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) ::TerminateProcess(process, 137);
    ::WaitForSingleObject(process, INFINITE);
}

}  // namespace zolt_test
