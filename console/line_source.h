// Where the console's commands come from, and how lines reach the screen
// while commands are being typed.
#pragma once

#include <memory>
#include <string>

namespace console {

// Prints one whole line to standard output: the main thread and the poller's
// callback both print, and lines never interleave.
void printLine(const std::string& line);

class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line, without its end. False at the end of input, on a read
    // error, or once Ctrl-C has been pressed.
    virtual bool next(std::string& line) = 0;
    // Shows a line that did not come from a command, from any thread.
    virtual void show(const std::string& line) { printLine(line); }
};

// Lines from standard input as they are; with a prompt when `prompt` is not
// empty.
std::unique_ptr<LineSource> plainSource(const std::string& prompt);

// Lines typed at a terminal with editing and history, or null when the
// console was built without libedit.
std::unique_ptr<LineSource> editorSource(const std::string& prompt);

}  // namespace console
