#include "hostsim/player/file_watch.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace zqplay {
namespace {

std::string Joined(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder == ".") return name;
    const char last = folder.back();
    return folder + (last == '\\' || last == '/' ? "" : "\\") + name;
}

// Files only, not the folders in it.
void List(const std::string& folder, const std::string& shownAs, Listing& out) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Joined(folder, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        FileState s;
        s.bytes = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        s.writeTime = static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                      found.ftLastWriteTime.dwLowDateTime;
        s.path = Joined(folder, found.cFileName);
        out[ShownName(shownAs.empty() ? std::string(found.cFileName) : shownAs + "/" + found.cFileName)] = s;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Page objects: "/Type /Page", not "/Type /Pages".
int CountPages(const std::string& pdf) {
    int pages = 0;
    for (size_t at = pdf.find("/Type"); at != std::string::npos; at = pdf.find("/Type", at + 1)) {
        size_t i = at + 5;
        while (i < pdf.size() && (pdf[i] == ' ' || pdf[i] == '\r' || pdf[i] == '\n' || pdf[i] == '\t')) ++i;
        if (pdf.compare(i, 5, "/Page") == 0 && (i + 5 >= pdf.size() || !std::isalpha(static_cast<unsigned char>(pdf[i + 5]))))
            ++pages;
    }
    return pages;
}

}  // namespace

void FileWatch::Watch(const std::string& folder, const std::string& shownAs) {
    for (const Folder& f : folders_)
        if (f.shownAs == shownAs) return;
    folders_.push_back({folder, shownAs});
}

Listing FileWatch::Take() const {
    Listing out;
    for (const Folder& f : folders_) List(f.path, f.shownAs, out);
    return out;
}

std::vector<FileChange> Compare(const Listing& before, const Listing& after) {
    std::vector<FileChange> changes;
    for (const auto& [name, state] : after) {
        auto it = before.find(name);
        if (it == before.end() || it->second.bytes != state.bytes || it->second.writeTime != state.writeTime)
            changes.push_back({name, state.path, false});
    }
    for (const auto& [name, state] : before)
        if (!after.count(name)) changes.push_back({name, state.path, true});
    return changes;
}

std::string ShownName(const std::string& path) {
    std::string s = path;
    for (char& c : s)
        if (c == '\\') c = '/';
    while (s.rfind("./", 0) == 0) s.erase(0, 2);
    return s;
}

std::string SystemDriveRoot() {
    char system[MAX_PATH] = "";
    const UINT n = GetSystemDirectoryA(system, sizeof system);
    if (n >= 2 && n < sizeof system && system[1] == ':') return std::string(1, system[0]) + ":\\";
    return "";
}

long long FileBytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool MakeFolders(const std::string& folder) {
    std::string path = folder;
    for (char& c : path)
        if (c == '/') c = '\\';
    for (size_t at = path.find('\\', 1); at != std::string::npos; at = path.find('\\', at + 1)) {
        if (at == 2 && path[1] == ':') continue;  // "C:\"
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string PdfFolder() {
    const char* dir = std::getenv("ZQ_PDF_DIR");
    if (!dir || !*dir) return "";
    std::string path = dir;
    if (path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

bool WaitForPrintout(const std::string& folder, Listing& known, int seconds, Printout& out) {
    for (int waited = 0; waited <= seconds * 2; ++waited) {
        Listing now;
        List(folder, "", now);
        for (const auto& [name, state] : now) {
            if (name.size() < 4 || _stricmp(name.c_str() + name.size() - 4, ".pdf") != 0) continue;
            auto it = known.find(name);
            if (it != known.end() && it->second.bytes == state.bytes && it->second.writeTime == state.writeTime)
                continue;
            std::ifstream in(state.path, std::ios::binary);
            const std::string pdf{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            // A PDF is finished once its last "%%EOF" is there.
            const size_t end = pdf.find_last_not_of(" \r\n\t");
            if (end == std::string::npos || end < 4 || pdf.compare(end - 4, 5, "%%EOF") != 0) continue;
            out.name = name;
            out.pages = CountPages(pdf);
            known[name] = state;
            return true;
        }
        Sleep(500);
    }
    return false;
}

}  // namespace zqplay
