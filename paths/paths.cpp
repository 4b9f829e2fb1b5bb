// The platform half of ExpandPath: where the two tokens point on Win32.
#include "paths/paths.h"

#include "platform/platform.h"

namespace {

std::size_t SystemDirectory(char* out, std::size_t size) {
    UINT n = sys().GetSystemDirectoryA(out, static_cast<UINT>(size));
    if (n == 0 || n >= size) {  // failed, or the buffer was too small and holds nothing
        out[0] = '\0';
        return 0;
    }
    return n;
}

std::size_t ProgramFile(char* out, std::size_t size) {
    DWORD n = sys().GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
    if (n == 0) out[0] = '\0';
    out[size - 1] = '\0';  // a cut name is not terminated on every version
    return n;
}

}  // namespace

void ExpandPath(const char* name, char* native, char* folder, char* fileName) {
    ExpandPathFrom(name, SystemDirectory, ProgramFile, native, folder, fileName);
}
