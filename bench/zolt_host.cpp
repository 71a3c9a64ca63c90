#include "zolt_host.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace zolt_bench {

SlaveLinks::SlaveLinks() {
    char pattern[] = "/tmp/zolt-bench-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) folder_ = made;
}

SlaveLinks::~SlaveLinks() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string SlaveLinks::newLink(const char* way) {
    const std::string path =
        folder_ + "/Bench" + std::to_string(::getpid()) + "n" + std::to_string(made_++) + "." + way;
    std::error_code failed;
    std::filesystem::create_symlink(binaryFolder() + "/BenchSlave", path, failed);
    return failed ? std::string() : path;
}

SlaveLinks& SlaveLinks::shared() {
    static SlaveLinks links;
    return links;
}

ZoltHost::ZoltHost() {
    zolt_loader::ZoltFunctions functions;
    if (!zolt_loader::load(zolt_loader::kLibraryFileName, functions, error_)) {
        error_ = std::string("cannot load ") + zolt_loader::kLibraryFileName + ": " + error_;
        return;
    }
    if (const char* missing = zolt_loader::firstMissing(functions)) {
        error_ = std::string(zolt_loader::kLibraryFileName) + " lacks " + missing;
        return;
    }
    // loaded() looks at the functions only once all five are bound.
    zolt_ = functions;
}

ZoltHost& ZoltHost::instance() {
    static ZoltHost host;
    return host;
}

std::int8_t ZoltHost::open(int channel, const char* way, std::string* slavePath) {
    const std::string link = SlaveLinks::shared().newLink(way);
    if (slavePath != nullptr) *slavePath = link;
    return zolt_.open(static_cast<std::int8_t>(channel), link.c_str());
}

std::int8_t ZoltHost::enableCallback(int channel, NotifyCallback callback) {
    std::int8_t status = ZOLT_OK;
    do {
        status = zolt_.event(static_cast<std::int8_t>(channel), callback);
        if (status != ZOLT_OK) return status;
        if (suspensions_[channel] > 0) --suspensions_[channel];
    } while (suspensions_[channel] > 0);
    return status;
}

std::int8_t ZoltHost::close(int channel) {
    ++suspensions_[channel];
    return zolt_.close(static_cast<std::int8_t>(channel));
}

}  // namespace zolt_bench
