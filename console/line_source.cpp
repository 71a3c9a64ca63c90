#include "line_source.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform.h"

namespace console {
namespace {

std::mutex outputLock;

class PlainSource : public LineSource {
public:
    explicit PlainSource(std::string prompt) : prompt_(std::move(prompt)) {}

    bool next(std::string& line) override {
        line.clear();
        showPrompt();
        waiting_ = true;
        char chunk[512];
        bool any = false;
        while (!interrupted() && std::fgets(chunk, sizeof chunk, stdin) != nullptr) {
            any = true;
            line += chunk;
            if (line.back() == '\n') {
                line.pop_back();
                break;
            }
        }
        waiting_ = false;
        // A last line without its end still counts.
        return any && !interrupted();
    }

    void show(const std::string& line) override {
        printLine(line);
        // The prompt scrolled away with the text; the typed characters are
        // still in the terminal's line buffer.
        if (waiting_) showPrompt();
    }

private:
    void showPrompt() {
        if (prompt_.empty()) return;
        std::lock_guard lock(outputLock);
        std::fputs(prompt_.c_str(), stdout);
        std::fflush(stdout);
    }

    std::string prompt_;
    std::atomic<bool> waiting_{false};
};

}  // namespace

void printLine(const std::string& line) {
    std::lock_guard lock(outputLock);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::unique_ptr<LineSource> plainSource(const std::string& prompt) { return std::make_unique<PlainSource>(prompt); }

#if !defined(ZOLT_CONSOLE_LIBEDIT)
std::unique_ptr<LineSource> editorSource(const std::string&) { return nullptr; }
#endif

}  // namespace console
