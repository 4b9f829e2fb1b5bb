// zqDisplayBitmap: shows a bitmap variable's picture in its element through a drawing hook.
#include <cstdlib>
#include <cstring>

#include "components/bitmap_exchange.h"
#include "components/element_hook.h"
#include "components/modifiers.h"
#include "imaging/bitmaps.h"
#include "imaging/colour_match.h"
#include "imaging/picture_format.h"
#include "platform/owners.h"
#include "framework/host_calls.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"

namespace {

constexpr size_t kEndEventOffset = 10;
constexpr size_t kVariableOffset = 20;
constexpr size_t kHookInstalledOffset = 62;  // 1 while our hook is installed
constexpr size_t kHookIdOffset = 64;         // valid only while installed

constexpr int16_t kDisplayHookKind = 1;
constexpr uint32_t kHideEverywhere = 2002;  // hides whatever the qualifier


constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kEndEventOffset, FieldKind::Event, "endEvent", 302},
    {kVariableOffset, FieldKind::Value, "bitmapVariable"},
    {kHookInstalledOffset, FieldKind::RunState8, "hookInstalled"},  // a copy never owns the original's hook
};
ModifierState state;

static_assert(DefaultsSize(kFields) == 62);
static_assert(kHookIdOffset + sizeof(uint32_t) == 68);

// Only 1 counts: a block no Construct has seen may hold anything here.
bool HookInstalled(const uint8_t* instance) { return LoadAt<uint8_t>(instance, kHookInstalledOffset) == 1; }

// An integer attribute of `object`; false when it is not answered as one.
bool ReadInteger(HostObject object, const AttributeName& name, int32_t* out) {
    HostValue v{};
    SetInteger(&v, 0);
    if (GetAttribute(object, name, &v) != 0 || TagOf(&v) != kTagInteger) return false;
    *out = IntegerPayload(&v);
    return true;
}

void SetElementSize(uint32_t element, const AttributeName& name, int32_t pixels) {
    HostValue v{};
    SetInteger(&v, pixels);
    SetAttributeById(element, name, &v);
}

SlotResult Show(uint8_t* instance, const MessageRecord&) {
    uint32_t element = 0;
    if (GetParentElement(instance, &element) != 0) return kSlotDone;  // nowhere to show it

    // Each size only from an answer: a failed read must not pass on the other
    // dimension. Without a variable the element keeps its size and the first
    // draw that finds a bitmap sizes it.
    if (HostObject variable = FindBitmapVariable(instance, kVariableOffset)) {
        int32_t pixels;
        if (ReadInteger(variable, kHeightName, &pixels)) SetElementSize(element, kHeightName, pixels);
        if (ReadInteger(variable, kWidthName, &pixels)) SetElementSize(element, kWidthName, pixels);
    }

    if (!HookInstalled(instance)) {
        // Marked installed whatever status the host answers: a host that
        // installed the hook and answered a status keeps calling it, so Hide
        // and Destruct must remove it with the id the host wrote.
        StoreAt<uint32_t>(instance, kHookIdOffset, InstallElementHook(element, kDisplayHookKind, instance));
        StoreAt<uint8_t>(instance, kHookInstalledOffset, 1);
    }
    RefreshElement(instance, 0);
    return kSlotDone;
}

// False when the element cannot be found: the hook stays installed.
bool RemoveHook(uint8_t* instance) {
    uint32_t element = 0;
    if (GetParentElement(instance, &element) != 0) return false;
    RemoveElementHook(element, kDisplayHookKind, LoadAt<uint32_t>(instance, kHookIdOffset));
    StoreAt<uint8_t>(instance, kHookInstalledOffset, 0);
    return true;
}

SlotResult Hide(uint8_t* instance, const MessageRecord& message) {
    if (!EventMatches(instance, kEndEventOffset, message) && message.eventCode != kHideEverywhere) return kSlotDeclined;
    if (!HookInstalled(instance)) return kSlotDeclined;
    if (!RemoveHook(instance)) return kSlotDeclined;  // a later hide may work
    RefreshElement(instance, 0);
    return kSlotDone;
}

// Before Destruct and Assign: the host would go on calling an installed hook
// with this block, freed or reset. No refresh: the host may be taking the
// element down with the modifier.
void ReleaseHook(uint8_t* instance) {
    if (HookInstalled(instance)) RemoveHook(instance);
}

// The surface's colours as 0x00RRGGBB: the colour table of the DIB section
// selected in its context, else the context's logical palette. 0 when there
// is no context or it gives none.
int ReadSurfaceColours(HDC dc, uint32_t* colours) {
    if (!dc) return 0;
    RGBQUAD table[kMaxSurfaceColours];
    UINT n = sys().GetDIBColorTable(dc, 0, kMaxSurfaceColours, table);
    if (n > kMaxSurfaceColours) n = 0;
    for (UINT i = 0; i < n; ++i) colours[i] = Rgb(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue);
    if (n) return static_cast<int>(n);
    const auto palette = static_cast<HPALETTE>(sys().GetCurrentObject(dc, OBJ_PAL));
    if (!palette) return 0;
    PALETTEENTRY entries[kMaxSurfaceColours];
    n = sys().GetPaletteEntries(palette, 0, kMaxSurfaceColours, entries);
    if (n > kMaxSurfaceColours) n = 0;
    for (UINT i = 0; i < n; ++i) colours[i] = Rgb(entries[i].peRed, entries[i].peGreen, entries[i].peBlue);
    return static_cast<int>(n);
}

// Rows of the picture in memory: the row for element row y is at
// first + (bottom - y) * step, so the first row in memory (a bottom-up
// picture's bottom row) lands on the element's bottom row, the next one a row
// higher.
struct PictureRows {
    const uint8_t* first;
    size_t step;
    int bottom;
    const uint8_t* Row(int y) const { return first + static_cast<size_t>(bottom - y) * step; }
};

void ConvertRows(ColourMatcher& matcher, const PixelLayout& layout, const PictureRows& picture, const HookDraw& d,
                 int top, int bottom) {
    const RECT& v = d.visible;
    for (int y = top; y < bottom; ++y)
        ConvertRow(matcher, layout, picture.Row(y), v.left - d.rect.left, v.right - v.left, d.Row(y) + v.left);
}

// A DIB section read from its own memory. False when its depth or layout is
// not one the conversion knows, or its colour table cannot be read.
bool ConvertSection(ColourMatcher& matcher, HBITMAP shown, const BITMAP& bm, const HookDraw& d) {
    DIBSECTION ds;
    if (sys().GetObjectA(shown, sizeof ds, &ds) != sizeof ds) return false;
    const int bits = bm.bmBitsPixel;
    if (bm.bmPlanes != 1 || static_cast<int64_t>(bm.bmWidthBytes) * 8 < static_cast<int64_t>(bm.bmWidth) * bits) return false;
    PixelLayout layout;
    layout.bitsPerPixel = bits;
    uint32_t table[16];
    if (bits == 1 || bits == 4) {
        // The platform fills the colour table of a header that asks for the
        // bitmap's own depth; no rows are read.
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[16];
        } info{};
        info.header = RowsHeader(bm.bmWidth, bm.bmHeight, static_cast<WORD>(bits));
        UniqueDc dc{sys().CreateCompatibleDC(nullptr)};
        if (!dc || !sys().GetDIBits(dc.get(), shown, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
            return false;
        for (int i = 0; i < (1 << bits); ++i)
            table[i] = Rgb(info.colours[i].rgbRed, info.colours[i].rgbGreen, info.colours[i].rgbBlue);
        layout.table = table;
        layout.tableSize = 1 << bits;
    } else if (bits == 16 || bits == 32) {
        if (ds.dsBmih.biCompression == BI_BITFIELDS)
            for (int i = 0; i < 3; ++i) layout.masks[i] = ds.dsBitfields[i];
        else if (ds.dsBmih.biCompression != BI_RGB)
            return false;
        // Straight alpha unless every fourth byte is zero, as in 32-bit files without alpha.
        layout.straightAlpha = bits == 32 && ds.dsBmih.biCompression == BI_RGB &&
                               HasAlpha(static_cast<const uint8_t*>(bm.bmBits), bm.bmWidthBytes, bm.bmHeight, bm.bmWidth);
    } else if (bits != 24) {
        return false;
    }
    const PictureRows rows{static_cast<const uint8_t*>(bm.bmBits), static_cast<size_t>(bm.bmWidthBytes), d.rect.bottom - 1};
    ConvertRows(matcher, layout, rows, d, d.visible.top, d.visible.bottom);
    return true;
}

// A device-dependent bitmap: its visible rows read by the platform as 32-bit
// pixels into a scratch block, a band at a time.
void ConvertDeviceBitmap(ColourMatcher& matcher, HBITMAP shown, const BITMAP& bm, const HookDraw& d) {
    const size_t rowBytes = static_cast<size_t>(bm.bmWidth) * 4;
    constexpr size_t kBandBytes = 1 << 20;
    const int bandRows = rowBytes >= kBandBytes ? 1 : static_cast<int>(kBandBytes / rowBytes);
    const int visibleRows = d.visible.bottom - d.visible.top;
    LockedGlobal scratch{kScratchMemory, rowBytes * static_cast<size_t>(bandRows < visibleRows ? bandRows : visibleRows)};
    if (!scratch) return;
    UniqueDc dc{sys().CreateCompatibleDC(nullptr)};
    if (!dc) return;
    BITMAPINFO info{};
    info.bmiHeader = RowsHeader(bm.bmWidth, bm.bmHeight, 32);
    PixelLayout layout;
    layout.bitsPerPixel = 32;
    // Bottom-up from scan line 0: element row y is scan line rect.bottom - 1 - y.
    for (int bottom = d.visible.bottom; bottom > d.visible.top; bottom -= bandRows) {
        const int top = bottom - bandRows > d.visible.top ? bottom - bandRows : d.visible.top;
        const UINT firstScan = static_cast<UINT>(d.rect.bottom - bottom);
        const UINT scans = static_cast<UINT>(bottom - top);
        if (sys().GetDIBits(dc.get(), shown, firstScan, scans, scratch.get(), &info, DIB_RGB_COLORS) != static_cast<int>(scans))
            return;
        ConvertRows(matcher, layout, PictureRows{scratch.bytes(), rowBytes, bottom - 1}, d, top, bottom);
    }
}

SlotResult HOSTAPI DrawHook(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface) {
    HookDraw d;
    if (!instance || !ReadHookDraw(draw, surface, &d)) return kHookFinished;
    const ElementRect& rect = d.rect;
    const int16_t w = static_cast<int16_t>(rect.right - rect.left);
    const int16_t h = static_cast<int16_t>(rect.bottom - rect.top);

    HBITMAP shown = BorrowBitmap(FindBitmapVariable(instance, kVariableOffset));  // lent: never deleted here
    BITMAP bm;
    if (!shown || !ReadBitmapRecord(shown, &bm)) return kHookFinished;

    if (w != bm.bmWidth || h != bm.bmHeight) {
        // The bitmap's size, not the rectangle's: the next draw then fits.
        uint32_t element = 0;
        if (GetParentElement(instance, &element) == 0) {
            SetElementSize(element, kWidthName, bm.bmWidth);
            SetElementSize(element, kHeightName, bm.bmHeight);
        }
        return kHookPassed;  // the element now fits the bitmap
    }
    if (!d.AnythingVisible()) return kHookFinished;

    if (bm.bmBits && bm.bmBitsPixel == 8) {
        // Index values are the stage's own: palette effects rely on them, so
        // the bytes are copied as they are.
        if (bm.bmWidthBytes < w) return kHookFinished;
        const RECT& v = d.visible;
        const PictureRows rows{static_cast<const uint8_t*>(bm.bmBits), static_cast<size_t>(bm.bmWidthBytes),
                               rect.bottom - 1};
        for (int y = v.top; y < v.bottom; ++y)
            std::memcpy(d.Row(y) + v.left, rows.Row(y) + (v.left - rect.left), static_cast<size_t>(v.right - v.left));
        return kHookFinished;
    }

    // Any other picture in the surface's colours, or nothing rather than noise.
    uint32_t colours[kMaxSurfaceColours];
    const int count = ReadSurfaceColours(static_cast<HDC>(d.surface.dc), colours);
    if (!count) return kHookFinished;
    ColourMatcher& matcher = ProcessColourMatcher();
    matcher.Use(colours, count);
    if (bm.bmBits) ConvertSection(matcher, shown, bm, d);
    else ConvertDeviceBitmap(matcher, shown, bm, d);
    return kHookFinished;
}

}  // namespace

ZQ_MODIFIER(zqDisplayBitmap, .instanceSize = 68, .fields = kFields, .state = &state, .onEvent = Show,
            .onOtherMessage = Hide, .hookCallback = DrawHook, .release = ReleaseHook);
