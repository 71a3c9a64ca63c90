#include "import_table.h"

#include <cstdint>
#include <cstring>

namespace zolt_test {

namespace {

template <typename T>
T* at(HMODULE module, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(module) + offset);
}

const ImportReplacement* find(const char* name, const ImportReplacement* replacements, int count) {
    for (int i = 0; i < count; ++i)
        if (std::strcmp(name, replacements[i].function) == 0) return &replacements[i];
    return nullptr;
}

bool rewrite(IMAGE_THUNK_DATA* slot, void* replacement) {
    DWORD previous = 0;
    if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
    slot->u1.Function = reinterpret_cast<std::uintptr_t>(replacement);
    ::VirtualProtect(slot, sizeof *slot, previous, &previous);
    return true;
}

}  // namespace

int replaceImports(HMODULE module, const ImportReplacement* replacements, int count) {
    if (module == nullptr) return 0;
    const auto* dos = at<IMAGE_DOS_HEADER>(module, 0);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    // IMAGE_NT_HEADERS and IMAGE_THUNK_DATA have the build's width.
    const auto* nt = at<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) return 0;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return 0;
    int rewritten = 0;
    for (auto* dll = at<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); dll->Name != 0; ++dll) {
        // The name table stays as linked; the address table holds what the
        // loader bound. Without a name table the address table was both.
        const DWORD names = dll->OriginalFirstThunk != 0 ? dll->OriginalFirstThunk : dll->FirstThunk;
        auto* name = at<IMAGE_THUNK_DATA>(module, names);
        auto* slot = at<IMAGE_THUNK_DATA>(module, dll->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName = at<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(name->u1.AddressOfData));
            const ImportReplacement* match =
                find(reinterpret_cast<const char*>(byName->Name), replacements, count);
            if (match != nullptr && rewrite(slot, match->replacement)) ++rewritten;
        }
    }
    return rewritten;
}

}  // namespace zolt_test
