// zqplay: tries the plug-in without the host. Loads the DLL through the host
// simulator, prints what it registered and plays a project (FORMAT.md).
//   zqplay [--record DIR] DLL [PROJECT]
//   zqplay --describe [COMPONENT...]
//   zqplay --check PROJECT...
//   zqplay --guide | --version
// Exit status: 0 when everything passed, 1 when a run failed (an expectation,
// a host error, a step that could not be done), 2 when it could not start.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/player/descriptions.h"
#include "hostsim/player/file_watch.h"
#include "hostsim/player/player.h"
#include "hostsim/player/project.h"

namespace {

using hostsim::Host;
using zqplay::Log;

constexpr int kFailed = 1;
constexpr int kCannotStart = 2;

constexpr char kUsage[] =
    "usage: zqplay [--record DIR] DLL [PROJECT]   prints the DLL's catalogue, then plays PROJECT\n"
    "       zqplay --describe [COMPONENT...]       settings, kinds, defaults and messages of the components\n"
    "       zqplay --check PROJECT...              checks projects without playing them\n"
    "       zqplay --guide                         every component's settings, as the authors' guide lists them\n"
    "       zqplay --version\n"
    "--record DIR writes the log and a copy of each snapshot into DIR, replacing what the last\n"
    "record left there: tests/player/expected/NAME keeps the expected outputs of each demo.\n";

int CannotStart(const std::string& message) {
    std::fprintf(stderr, "zqplay: %s\n", message.c_str());
    return kCannotStart;
}

const char* KindName(uint32_t kind) {
    switch (kind) {
        case kKindModifier: return "modifier";
        case kKindVariable: return "variable";
        default: return "unknown";
    }
}

void PrintCatalogue(const Host& host, Log& log) {
    char line[200];
    for (const hostsim::ComponentType& t : host.Catalogue()) {
        std::snprintf(line, sizeof line, "%-16s  %-8s  size %4lu  base %s (%d)  entry %s", t.name.c_str(),
                      KindName(t.componentKind), static_cast<unsigned long>(t.instanceSize), t.baseClassName.c_str(),
                      t.baseCount, t.entryName.c_str());
        log.Out(line);
        for (int16_t row = 0; row < 2; ++row) {
            std::string slots;
            for (const hostsim::SlotWrite& w : t.slots) {
                if (w.row != row) continue;
                std::snprintf(line, sizeof line, " %d/%ld", w.slot, static_cast<long>(w.flags));
                slots += line;
            }
            if (!slots.empty()) log.Out("    row " + std::to_string(row) + " slot/flags:" + slots);
        }
        // The names a project uses come from this player's copy of the field
        // tables: they fit only the DLL they were built with.
        const Component* known = zqplay::FindComponent(t.name);
        if (known && known->type && known->type->instanceSize != t.instanceSize)
            log.Error("zqplay: note: this player knows " + t.name + " with " +
                      std::to_string(known->type->instanceSize) + "-byte instances; settings by name may not fit");
    }
}

// The folder of a project file, as a Windows path with forward slashes.
std::string ProjectDir(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    if (dir.empty()) dir = "/";
    if (dir[0] == '/') dir = "Z:" + dir;
    for (char& ch : dir)
        if (ch == '\\') ch = '/';
    return dir;
}

// A Unix path, as Wine passes it through, seen through drive Z:.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    return path;
}

bool ReadProject(const std::string& file, zqplay::Project& project, bool& unreadable) {
    std::ifstream in(file);
    unreadable = !in;
    if (unreadable) {
        std::fprintf(stderr, "%s: error: cannot read the project: there is no such file or it cannot be opened\n",
                     file.c_str());
        return false;
    }
    zqplay::ProjectError error;
    if (zqplay::ParseProject(in, project, error)) return true;
    std::fprintf(stderr, "%s:%d: error: %s\n", file.c_str(), error.line, error.message.c_str());
    return false;
}

// Loads the plug-in, or says why not.
bool LoadPlugin(Host& host, const std::string& dll, std::string& why) {
    const bool there = GetFileAttributesA(dll.c_str()) != INVALID_FILE_ATTRIBUTES;
    HMODULE probe = LoadLibraryA(dll.c_str());  // a bare name may be found on the DLL search path
    if (!probe) {
        const DWORD error = GetLastError();
        why = "cannot load the plug-in " + dll + ": ";
        if (!there && error == ERROR_MOD_NOT_FOUND) why += "there is no such file";
        else if (error == ERROR_MOD_NOT_FOUND) why += "a DLL it needs is missing (Windows error 126)";
        else if (error == ERROR_BAD_EXE_FORMAT) why += "it is not a 32-bit Windows DLL (Windows error 193)";
        else why += "Windows error " + std::to_string(error);
        return false;
    }
    std::vector<std::string> missing;
    host.SetErrorHandler([&](const std::string& e) {
        const std::string prefix = "the DLL does not export ";
        if (e.rfind(prefix, 0) == 0) missing.push_back(e.substr(prefix.size()));
    });
    const bool loaded = host.LoadDll(dll);
    FreeLibrary(probe);  // the host keeps its own reference
    host.SetErrorHandler(nullptr);
    if (loaded && host.Errors().empty()) return true;
    if (!missing.empty()) {
        std::string names;
        for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
        why = dll + " is not the plug-in: " +
              (missing.size() == std::size(kComponentNames)
                   ? "it exports none of the eight entry points (" + zqplay::ComponentNames() + ")"
                   : "it lacks the entry points " + names + " of the eight");
    } else {
        why = "the plug-in " + dll + " did not register: " + host.Errors().front();
    }
    return false;
}

// Clears what an earlier record left: the log and the snapshots.
bool PrepareRecord(const std::string& dir, std::FILE*& log) {
    if (!zqplay::MakeFolders(dir)) return false;
    for (const char* pattern : {"\\*.bmp", "\\log.txt"}) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do DeleteFileA((dir + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    log = std::fopen((dir + "\\log.txt").c_str(), "w");
    return log != nullptr;
}

int Describe(int argc, char** argv) {
    if (argc == 2) {
        for (const Component& c : kComponents) std::printf("%s\n", zqplay::Describe(c).c_str());
        return 0;
    }
    for (int i = 2; i < argc; ++i) {
        const Component* c = zqplay::FindComponent(argv[i]);
        if (!c)
            return CannotStart(std::string("no component '") + argv[i] + "'; expected one of: " + zqplay::ComponentNames());
        std::printf("%s\n", zqplay::Describe(*c).c_str());
    }
    return 0;
}

int Check(int argc, char** argv) {
    if (argc < 3) return CannotStart("--check needs at least one project file");
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        zqplay::Project project;
        bool unreadable;
        if (ReadProject(argv[i], project, unreadable))
            std::printf("%s: ok, %zu commands\n", argv[i], project.commands.size());
        else
            status = kFailed;
    }
    return status;
}

}  // namespace

int Guide() {
    for (const Component& c : kComponents) std::fputs(zqplay::GuideSection(c).c_str(), stdout);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return std::printf("zqplay %s\n", ZQ_VERSION) < 0;
    if (argc == 2 && std::strcmp(argv[1], "--guide") == 0) return Guide();
    if (argc >= 2 && std::strcmp(argv[1], "--describe") == 0) return Describe(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--check") == 0) return Check(argc, argv);
    int first = 1;
    std::string recordDir;
    if (argc >= 3 && std::strcmp(argv[1], "--record") == 0) {
        recordDir = WindowsPath(argv[2]);
        first = 3;
    }
    if (argc - first < 1 || argc - first > 2 || argv[first][0] == '-') {
        std::fputs(kUsage, stderr);
        return kCannotStart;
    }
    const std::string dll = argv[first];
    const bool hasProject = argc - first == 2;

    // The whole project is checked before the plug-in is touched.
    zqplay::Project project;
    bool unreadable = false;
    if (hasProject && !ReadProject(argv[first + 1], project, unreadable)) return kCannotStart;

    std::FILE* recordLog = nullptr;
    if (!recordDir.empty() && !PrepareRecord(recordDir, recordLog))
        return CannotStart("cannot write the record into " + recordDir);
    Log log(recordLog);

    int status = 0;
    {
        Host host;
        std::string why;
        if (!LoadPlugin(host, dll, why)) {
            if (recordLog) std::fclose(recordLog);
            return CannotStart(why);
        }
        PrintCatalogue(host, log);
        if (!hasProject) {
            log.Out("\ndescribe a component's settings: zqplay --describe COMPONENT");
        } else {
            log.Out("");
            zqplay::RunOptions options{argv[first + 1], ProjectDir(argv[first + 1]), recordDir};
            status = zqplay::Play(host, project, options, log).ok() ? 0 : kFailed;
        }
    }
    if (recordLog) std::fclose(recordLog);
    return status;
}
