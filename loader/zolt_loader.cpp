#include "zolt_loader.h"

#include "system_library.h"

namespace zolt_loader {

namespace {

template <typename Function>
void bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(findFunction(library, name));
}

}  // namespace

bool load(const char* fileName, ZoltFunctions& functions, std::string& error) {
    functions = ZoltFunctions{};
    void* library = openLibrary(fileName, error);
    if (library == nullptr) return false;
    bind(library, "ZoltMasterOpen", functions.open);
    bind(library, "ZoltMasterWrite", functions.write);
    bind(library, "ZoltMasterRead", functions.read);
    bind(library, "ZoltMasterEvent", functions.event);
    bind(library, "ZoltMasterClose", functions.close);
    return true;
}

const char* firstMissing(const ZoltFunctions& functions, unsigned needed) {
    if ((needed & kOpen) != 0 && functions.open == nullptr) return "ZoltMasterOpen";
    if ((needed & kWrite) != 0 && functions.write == nullptr) return "ZoltMasterWrite";
    if ((needed & kRead) != 0 && functions.read == nullptr) return "ZoltMasterRead";
    if ((needed & kEvent) != 0 && functions.event == nullptr) return "ZoltMasterEvent";
    if ((needed & kClose) != 0 && functions.close == nullptr) return "ZoltMasterClose";
    return nullptr;
}

}  // namespace zolt_loader
