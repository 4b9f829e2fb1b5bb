#include "tests/hardening/contained_seam.h"

#include <cstring>
#include <set>
#include <stdexcept>

namespace {

struct State {
    PlatformProbe* probe;
    Platform prior;      // the probe's entries, which count what passes through
    std::string folder;  // full path with a trailing backslash
    std::set<HDC> printers{};
    int pages = 0;
    int refused = 0;
};
State* state = nullptr;

const Platform& Prior() { return state->prior; }
bool IsPrinter(HDC dc) { return state->printers.count(dc) != 0; }

bool Inside(LPCSTR path) {
    char full[MAX_PATH];
    const DWORD n = path ? GetFullPathNameA(path, sizeof full, full, nullptr) : 0;
    return n > state->folder.size() && n < sizeof full && _strnicmp(full, state->folder.c_str(), state->folder.size()) == 0;
}

HFILE WINAPI CreateInside(LPCSTR path, int attributes) {
    if (Inside(path)) return Prior()._lcreat(path, attributes);
    ++state->refused;
    return HFILE_ERROR;
}
BOOL WINAPI DeleteInside(LPCSTR path) {
    if (Inside(path)) return Prior().DeleteFileA(path);
    ++state->refused;
    return FALSE;
}

BOOL WINAPI Cancel(LPOPENFILENAMEA) { return FALSE; }

// A 600 dpi printer: a 5000 x 7000 sheet, printable 4800 x 6600 from (50, 100).
int WINAPI DeviceCaps(HDC dc, int index) {
    if (!IsPrinter(dc)) return Prior().GetDeviceCaps(dc, index);
    switch (index) {
        case LOGPIXELSX: case LOGPIXELSY: return 600;
        case PHYSICALWIDTH: return 5000;
        case PHYSICALHEIGHT: return 7000;
        case PHYSICALOFFSETX: return 50;
        case PHYSICALOFFSETY: return 100;
        case HORZRES: return 4800;
        case VERTRES: return 6600;
        default: return 0;
    }
}

// The default printer and the dialog alike: the blocks it was given are
// kept, missing ones made, and every call hands out a new context.
BOOL WINAPI PrintDialog(LPPRINTDLGA pd) {
    if (!pd->hDevMode) {
        pd->hDevMode = Prior().GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DEVMODEA));
        if (!pd->hDevMode) return FALSE;
        auto* mode = static_cast<DEVMODEA*>(GlobalLock(pd->hDevMode));
        mode->dmSize = sizeof(DEVMODEA);
        mode->dmFields = DM_ORIENTATION;
        mode->dmOrientation = DMORIENT_PORTRAIT;
        GlobalUnlock(pd->hDevMode);
    }
    if (!pd->hDevNames) pd->hDevNames = Prior().GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
    pd->hDC = Prior().CreateCompatibleDC(nullptr);
    if (!pd->hDC) return FALSE;
    state->printers.insert(pd->hDC);
    return TRUE;
}
HDC WINAPI ResetPrinter(HDC dc, const DEVMODEA* mode) { return IsPrinter(dc) ? dc : Prior().ResetDCA(dc, mode); }
BOOL WINAPI DeletePrinterToo(HDC dc) {
    state->printers.erase(dc);
    return Prior().DeleteDC(dc);
}
int WINAPI StartDocument(HDC dc, const DOCINFOA* doc) { return IsPrinter(dc) ? 1 : Prior().StartDocA(dc, doc); }
int WINAPI StartSheet(HDC dc) { return IsPrinter(dc) ? 1 : Prior().StartPage(dc); }
int WINAPI EndSheet(HDC dc) {
    if (!IsPrinter(dc)) return Prior().EndPage(dc);
    ++state->pages;
    return 1;
}
int WINAPI EndDocument(HDC dc) { return IsPrinter(dc) ? 1 : Prior().EndDoc(dc); }
int WINAPI AbortDocument(HDC dc) { return IsPrinter(dc) ? 1 : Prior().AbortDoc(dc); }

}  // namespace

ContainedSeam::ContainedSeam(PlatformProbe& probe, const std::string& folder) {
    if (state) throw std::logic_error("one ContainedSeam at a time");
    char full[MAX_PATH] = "";
    GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    state = new State{&probe, probe.table(), std::string(full) + "\\"};
    Platform& t = probe.table();
    t._lcreat = CreateInside;
    t.DeleteFileA = DeleteInside;
    t.GetOpenFileNameA = Cancel;
    t.GetSaveFileNameA = Cancel;
    t.PrintDlgA = PrintDialog;
    t.ResetDCA = ResetPrinter;
    t.GetDeviceCaps = DeviceCaps;
    t.DeleteDC = DeletePrinterToo;
    t.StartDocA = StartDocument;
    t.StartPage = StartSheet;
    t.EndPage = EndSheet;
    t.EndDoc = EndDocument;
    t.AbortDoc = AbortDocument;
}

ContainedSeam::~ContainedSeam() {
    state->probe->table() = state->prior;
    delete state;
    state = nullptr;
}

int ContainedSeam::Pages() const { return state->pages; }
int ContainedSeam::Refused() const { return state->refused; }
