// zolt-objects on Windows: named objects there disappear with their last
// handle, so a crashed host or slave leaves nothing behind.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("zolt-objects %s\n", ZOLT_VERSION);
        return 0;
    }
    std::puts("zolt-objects: on Windows a named object ends with its last handle, so ended hosts and slaves "
              "leave no channel objects behind; there is nothing to list or clean.");
    return 0;
}
