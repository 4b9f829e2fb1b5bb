#include "paths/paths.h"

#include <cctype>
#include <cstring>

namespace {

bool StartsWithNoCase(const char* s, const char* token) {
    for (; *token; ++s, ++token)
        if (std::tolower(static_cast<unsigned char>(*s)) != *token) return false;
    return true;
}

// Text of at most `size` - 1 characters, always terminated.
void CopyText(char* out, const char* in, std::size_t n) {
    std::memcpy(out, in, n);
    out[n] = '\0';
}

// The prefix a token stands for, cut to what the platform gave.
std::size_t AskPlatform(PathSource source, char* text) {
    text[0] = '\0';
    if (!source) return 0;
    std::size_t n = source(text, kTextBuffer);
    text[kMaxText] = '\0';
    n = std::strlen(text);
    return n;
}

}  // namespace

void ExpandPathFrom(const char* name, PathSource systemDirectory, PathSource programFile,
                    char* native, char* folder, char* fileName) {
    // Names from the host are cut to 255 characters before they get here;
    // cut again so that no longer text can overrun the outputs.
    const std::size_t nameLength = strnlen(name, kMaxText);
    char prefix[kTextBuffer] = "";
    std::size_t prefixLength = 0;
    std::size_t tokenLength = 0;

    if (StartsWithNoCase(name, "/<boot>")) {
        tokenLength = 7;
        char dir[kTextBuffer];
        // Only the drive of the system directory: "C:".
        if (AskPlatform(systemDirectory, dir) >= 2 && dir[1] == ':') {
            CopyText(prefix, dir, 2);
            prefixLength = 2;
        }
    } else if (StartsWithNoCase(name, "<player>")) {
        tokenLength = 8;
        char program[kTextBuffer];
        AskPlatform(programFile, program);
        // The program's folder, without its last backslash.
        if (const char* slash = std::strrchr(program, '\\')) {
            prefixLength = static_cast<std::size_t>(slash - program);
            CopyText(prefix, program, prefixLength);
        }
    }

    // The prefix is left out when prefix and rest would not fit together.
    const std::size_t restLength = nameLength - tokenLength;
    std::size_t length = 0;
    if (restLength + prefixLength < kTextBuffer) {
        std::memcpy(native, prefix, prefixLength);
        length = prefixLength;
    }
    std::memcpy(native + length, name + tokenLength, restLength);
    length += restLength;
    native[length] = '\0';
    for (char* c = native; *c; ++c)
        if (*c == '/') *c = '\\';

    // Folder: drive and directory up to its last backslash; file name: the rest.
    std::size_t split = (length >= 2 && native[1] == ':') ? 2 : 0;
    for (std::size_t i = split; i < length; ++i)
        if (native[i] == '\\') split = i + 1;
    CopyText(folder, native, split);
    CopyText(fileName, native + split, length - split);
}

void PortablePath(const char* native, char* portable) {
    const std::size_t length = strnlen(native, kTextBuffer);
    if (length >= kTextBuffer) {
        portable[0] = '\0';
        return;
    }
    CopyText(portable, native, length);
    for (char* c = portable; *c; ++c)
        if (*c == '\\') *c = '/';
}
