#include "bench/pillow.h"

#include <windows.h>

#include <fstream>

#include "bench/bench.h"

namespace bench {

std::string UnixPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return "";
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unix = toUnix(wide.c_str());
    if (!unix) return "";
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

std::vector<std::string> RunPillow(const std::vector<std::string>& args) {
    char dir[MAX_PATH];
    Require(GetTempPathA(MAX_PATH, dir) != 0, "no temporary folder");
    const std::string answer = std::string(dir) + "zq_bench_pillow.txt";
    DeleteFileA(answer.c_str());
    // Wine starts a Linux program but gives it neither our pipes nor a
    // handle to wait on: the script answers through a file it renames into
    // place when it is complete.
    std::string command = "Z:\\usr\\bin\\python3 " ZQ_BENCH_DIR "/pillow_bench.py " + UnixPath(answer);
    for (const std::string& a : args) command += " " + a;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Require(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi),
            "cannot start the system Python");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int waited = 0; GetFileAttributesA(answer.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 10) {
        Require(waited < 60000, "Pillow gave no figures within a minute");
        Sleep(10);
    }
    std::vector<std::string> lines;
    std::ifstream in(answer);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    DeleteFileA(answer.c_str());
    return lines;
}

}  // namespace bench
