// Test helper for the codec interop driver (codecs.py), run under Wine. It
// plays the host: the plug-in's DLL is loaded, and every file goes through
// the import component into a bitmap variable, as in a project.
//   picturedump DLL <in> <out.raw> [<in> <out.raw> ...]
//     prints "<in> loaded <bits>" or "<in> refused"; a loaded picture's
//     pixels go to <out.raw>: width, height (32-bit little-endian), then
//     R, G, B, A per pixel, top row first (A 255 below 32 bits).
//   picturedump DLL --save <in> <out> [<in> <out> ...]
//     imports <in> and saves it to <out> with the save component; prints
//     "<out> saved" or "<out> failed".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/host_value.h"
#include "hostsim/host.h"
#include "tests/support/gdi.h"

namespace {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr size_t kImportFileName = 18, kImportVariable = 60, kImportUseFileName = 14;
constexpr size_t kSaveVariable = 10, kSaveUseFileName = 56, kSaveFileName = 60;

HBITMAP Held(Host& host, ObjectId variable) {
    HostValue v = Host::Integer(0);
    host.GetAttributeById(variable, "value", &v);
    return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(IntegerPayload(&v))));
}

bool Import(Host& host, ObjectId variable, const std::string& path) {
    Handle importer = host.Create("zqImportBitmap");
    StoreAt(importer, kImportUseFileName, BooleanValue{kTagBoolean, 1});
    host.SetField(importer, kImportFileName, host.String(path));
    host.SetField(importer, kImportVariable, Host::Reference(variable));
    const int16_t result = host.Deliver(importer, 301, 0);
    host.Destroy(importer);
    return result == 0;
}

bool Save(Host& host, ObjectId variable, const std::string& path) {
    Handle saver = host.Create("zqSaveBitmap");
    StoreAt(saver, kSaveUseFileName, BooleanValue{kTagBoolean, 1});
    host.SetField(saver, kSaveFileName, host.String(path));
    host.SetField(saver, kSaveVariable, Host::Reference(variable));
    host.Deliver(saver, 301, 0);
    host.Destroy(saver);
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Dump(HBITMAP b, const char* path, int* bits) {
    *bits = gdi::RecordOf(b).bmBitsPixel;
    return *bits != 0 && gdi::WriteRawPixels(b, path, true);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: picturedump DLL [--save] <in> <out> ...\n");
        return 2;
    }
    Host host;
    if (!host.LoadDll(argv[1])) {
        std::fprintf(stderr, "picturedump: cannot load %s\n", argv[1]);
        return 2;
    }
    const bool saving = std::strcmp(argv[2], "--save") == 0;
    int status = 0;
    for (int i = saving ? 3 : 2; i + 1 < argc; i += 2) {
        const ObjectId variable = host.IdOf(host.Create("zqBitmapVariable"));
        if (saving) {
            const bool ok = Import(host, variable, argv[i]) && Save(host, variable, argv[i + 1]);
            std::printf("%s %s\n", argv[i + 1], ok ? "saved" : "failed");
        } else if (!Import(host, variable, argv[i])) {
            std::printf("%s refused\n", argv[i]);
        } else {
            int bits = 0;
            if (!Dump(Held(host, variable), argv[i + 1], &bits)) {
                std::printf("%s undumpable\n", argv[i]);
                status = 1;
            } else {
                std::printf("%s loaded %d\n", argv[i], bits);
            }
        }
        host.Destroy(host.HandleOf(variable));
    }
    std::fflush(stdout);
    return status;
}
