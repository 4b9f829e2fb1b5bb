#include "paths/numbered_name.h"

#include <cstring>

#include "platform/owners.h"
#include "platform/platform.h"

void MakeNumberedFileName(const char* base, char* path) {
    path[0] = '\0';
    // Folder, base, three digits and ".bmp" must fit the buffer.
    if (std::strlen(base) > kTextBuffer - 13) return;

    // The system drive, as "C:"; without one the names start at the current drive's root.
    char systemDirectory[kTextBuffer] = "";
    const UINT length = sys().GetSystemDirectoryA(systemDirectory, sizeof systemDirectory);
    char folder[3] = "";
    if (length >= 2 && length < sizeof systemDirectory && systemDirectory[1] == ':') {
        folder[0] = systemDirectory[0];
        folder[1] = ':';
    }

    char candidate[kTextBuffer];
    for (int n = 0; n < kNumberedNames; ++n) {
        sys().wsprintfA(candidate, "%s\\%s%03d.bmp", folder, base, n);
        UniqueFile existing{sys()._lopen(candidate, OF_READ)};
        if (existing) continue;
        // There but unreadable (locked, no access): still taken, never truncated.
        if (sys().GetFileAttributesA(candidate) != INVALID_FILE_ATTRIBUTES) continue;
        // The empty file reserves the name until the picture is written into it.
        UniqueFile reserved{sys()._lcreat(candidate, 0)};
        if (!reserved) return;
        reserved.Close();
        std::memcpy(path, candidate, sizeof candidate);
        return;
    }
}
