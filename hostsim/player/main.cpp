// zqplay <path to zqbitmap.dll>: loads the plug-in through the host
// simulator and prints what it registered.
#include <cstdio>
#include <string>

#include "hostsim/host.h"

namespace {

const char* KindName(uint32_t kind) {
    switch (kind) {
        case kKindModifier: return "modifier";
        case kKindVariable: return "variable";
        default: return "unknown";
    }
}

void PrintCatalogue(const hostsim::Host& host) {
    for (const hostsim::ComponentType& t : host.Catalogue()) {
        std::printf("%-16s  %-8s  size %4lu  base %s (%d)  entry %s\n", t.name.c_str(), KindName(t.componentKind),
                    static_cast<unsigned long>(t.instanceSize), t.baseClassName.c_str(), t.baseCount,
                    t.entryName.c_str());
        for (int16_t row = 0; row < 2; ++row) {
            std::string line;
            for (const hostsim::SlotWrite& w : t.slots) {
                if (w.row != row) continue;
                char entry[32];
                std::snprintf(entry, sizeof entry, " %d/%ld", w.slot, static_cast<long>(w.flags));
                line.append(entry);
            }
            if (!line.empty()) std::printf("    row %d slot/flags:%s\n", row, line.c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zqplay <path to zqbitmap.dll>\n");
        return 2;
    }
    hostsim::Host host;
    const bool loaded = host.LoadDll(argv[1]);
    PrintCatalogue(host);
    host.Teardown();
    for (const std::string& e : host.Errors()) std::fprintf(stderr, "host: %s\n", e.c_str());
    return loaded && host.Errors().empty() ? 0 : 1;
}
