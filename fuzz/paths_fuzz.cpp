// libFuzzer target: the path tokens with any name and any platform texts.
// The input is the name, then the system directory, then the program file,
// separated by NUL bytes; a text that is missing has no source at all.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "paths/paths.h"

namespace {

const std::string* gSystemDir;
const std::string* gProgram;

// Cut to the buffer, and then not terminated, as some platforms do.
std::size_t Give(const std::string& text, char* out, std::size_t size) {
    std::memcpy(out, text.data(), text.size() < size ? text.size() + 1 : size);
    return text.size();
}
std::size_t SystemDirectory(char* out, std::size_t size) { return Give(*gSystemDir, out, size); }
std::size_t ProgramFile(char* out, std::size_t size) { return Give(*gProgram, out, size); }

std::string Swapped(std::string s, char from, char to) {
    for (char& c : s)
        if (c == from) c = to;
    return s;
}

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// Exactly one buffer's worth, so that AddressSanitizer sees any byte past it.
struct Buffer {
    std::vector<char> bytes = std::vector<char>(kTextBuffer, '\xAA');
    std::string Text() const {
        const void* end = std::memchr(bytes.data(), '\0', bytes.size());
        Check(end != nullptr);  // always terminated inside the buffer
        return std::string(bytes.data(), static_cast<const char*>(end));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && parts.size() < 3) parts.emplace_back();
        else parts.back() += static_cast<char>(data[i]);
    }
    const size_t texts = parts.size() - 1;
    parts.resize(3);
    gSystemDir = &parts[1];
    gProgram = &parts[2];
    const std::string& name = parts[0];
    std::vector<char> nameBytes(name.begin(), name.end());
    nameBytes.push_back('\0');

    Buffer native, folder, file;
    ExpandPathFrom(nameBytes.data(), texts >= 1 ? SystemDirectory : nullptr, texts >= 2 ? ProgramFile : nullptr,
                   native.bytes.data(), folder.bytes.data(), file.bytes.data());
    const std::string n = native.Text(), d = folder.Text(), f = file.Text();
    Check(d + f == n);
    Check(n.find('/') == std::string::npos && f.find('\\') == std::string::npos);
    // Whatever the prefix, the name after its token ends the native path.
    const std::string cut = name.substr(0, kTextBuffer - 1);
    size_t token = 0;
    for (const char* t : {"/<boot>", "<player>"}) {
        const size_t length = std::strlen(t);
        std::string head = cut.substr(0, length);
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (head == t) {
            token = length;
            break;
        }
    }
    const std::string rest = Swapped(cut.substr(token), '/', '\\');
    Check(n.size() >= rest.size() && n.compare(n.size() - rest.size(), rest.size(), rest) == 0);
    if (token == 0) Check(n == rest);

    // Back to portable: the same text with slashes, or nothing when too long.
    Buffer portable;
    PortablePath(native.bytes.data(), portable.bytes.data());
    Check(portable.Text() == Swapped(n, '\\', '/'));
    PortablePath(nameBytes.data(), portable.bytes.data());
    Check(portable.Text() == (name.size() < kTextBuffer ? Swapped(name, '\\', '/') : ""));
    return 0;
}
