// Line editing and history through libedit. The poller's notifications are
// printed by the main thread, between keystrokes, above the line being typed:
// libedit is not to be called from two threads.
#include <editline/readline.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "line_source.h"
#include "platform.h"

namespace console {
namespace {

class EditorSource;
EditorSource* active = nullptr;

class EditorSource : public LineSource {
public:
    explicit EditorSource(std::string prompt) : prompt_(std::move(prompt)) {
        if (::pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
        for (const int end : wake_)
            if (end >= 0) ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
        // Ctrl-C is the console's: it closes the channel.
        rl_catch_signals = 0;
    }
    ~EditorSource() override {
        for (const int end : wake_)
            if (end >= 0) ::close(end);
    }

    bool next(std::string& line) override {
        {
            std::lock_guard lock(lock_);
            reading_ = true;
        }
        done_ = ended_ = false;
        active = this;
        rl_callback_handler_install(prompt_.c_str(), onLine);
        while (!done_ && !interrupted()) {
            pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(watched, wake_[0] >= 0 ? 2 : 1, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (watched[1].revents & POLLIN) showWaiting();
            if (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) rl_callback_read_char();
        }
        rl_callback_handler_remove();
        active = nullptr;
        {
            std::lock_guard lock(lock_);
            reading_ = false;
        }
        showWaiting();
        if (!done_ || ended_) {
            // libedit leaves the cursor after the prompt.
            std::fputc('\n', stdout);
            return false;
        }
        line = line_;
        if (!line.empty()) add_history(line.c_str());
        return true;
    }

    void show(const std::string& line) override {
        std::lock_guard lock(lock_);
        if (!reading_) {
            printLine(line);
            return;
        }
        waiting_.push_back(line);
        const char byte = 1;
        if (::write(wake_[1], &byte, 1) < 0) {
            // The pipe is full: the main thread has a wake-up pending anyway.
        }
    }

private:
    static void onLine(char* text) {
        active->done_ = true;
        active->ended_ = text == nullptr;
        if (text != nullptr) {
            active->line_ = text;
            std::free(text);
        }
    }

    // Prints the notifications that came in, above the line being typed.
    void showWaiting() {
        char drained[64];
        while (::read(wake_[0], drained, sizeof drained) > 0) {
        }
        std::deque<std::string> lines;
        bool reading = false;
        {
            std::lock_guard lock(lock_);
            lines.swap(waiting_);
            reading = reading_;
        }
        if (lines.empty()) return;
        if (reading) {
            std::fputs("\r\x1b[K", stdout);
            std::fflush(stdout);
        }
        for (const auto& line : lines) printLine(line);
        if (reading) rl_forced_update_display();
    }

    std::string prompt_;
    int wake_[2] = {-1, -1};
    std::mutex lock_;
    bool reading_ = false;
    std::deque<std::string> waiting_;
    bool done_ = false;
    bool ended_ = false;
    std::string line_;
};

}  // namespace

std::unique_ptr<LineSource> editorSource(const std::string& prompt) { return std::make_unique<EditorSource>(prompt); }

}  // namespace console
