#include "zolt_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "mailbox_layout.h"

namespace zolt_bench {

std::string binaryFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string self(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return self.substr(0, self.rfind('/'));
}

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

namespace {

template <typename Function>
bool bind(void* library, const char* name, Function& function, std::string& error) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr) error = std::string("libZolt.so lacks ") + name;
    return function != nullptr;
}

}  // namespace

ZoltHost::ZoltHost() {
    void* library = ::dlopen("libZolt.so", RTLD_NOW);
    if (library == nullptr) {
        error_ = std::string("cannot load libZolt.so: ") + ::dlerror();
        return;
    }
    decltype(open_) openFunction = nullptr;
    const bool bound = bind(library, "ZoltMasterOpen", openFunction, error_) &&
                       bind(library, "ZoltMasterWrite", write_, error_) &&
                       bind(library, "ZoltMasterRead", read_, error_) &&
                       bind(library, "ZoltMasterEvent", event_, error_) &&
                       bind(library, "ZoltMasterClose", close_, error_);
    // loaded() looks at open_ alone: set it only once all five are bound.
    if (bound) open_ = openFunction;
}

ZoltHost& ZoltHost::instance() {
    static ZoltHost host;
    return host;
}

std::int8_t ZoltHost::open(int channel, const char* way, std::string* stem) {
    const std::string link = SlaveLinks::shared().newLink(way);
    if (stem != nullptr) *stem = stemOf(link);
    return open_(static_cast<std::int8_t>(channel), link.c_str());
}

std::int8_t ZoltHost::enableCallback(int channel, NotifyCallback callback) {
    std::int8_t status = ZOLT_OK;
    do {
        status = event_(static_cast<std::int8_t>(channel), callback);
        if (status != ZOLT_OK) return status;
        if (suspensions_[channel] > 0) --suspensions_[channel];
    } while (suspensions_[channel] > 0);
    return status;
}

std::int8_t ZoltHost::close(int channel) {
    ++suspensions_[channel];
    return close_(static_cast<std::int8_t>(channel));
}

}  // namespace zolt_bench
