// Elements: a rectangle on an 8-bit drawing surface, and the drawing hooks
// the host calls while it draws the element.
#include <windows.h>

#include <cstring>

#include "hostsim/internal.h"

namespace hostsim {
namespace {
constexpr size_t kGuardBytes = 4096;  // below the mapping granularity: the DIB's view covers it
constexpr uint8_t kGuardByte = 0xFB;
}  // namespace

Element::Element(ObjectId id, const ElementSetup& setup)
    : id_(id), rect_(setup.rect), width_(setup.surfaceWidth), rows_(setup.surfaceRows), stride_(0) {
    const int rowBytes = (width_ + 3) & ~3;  // DIB rows are 4-byte aligned
    if (width_ <= 0 || rows_ <= 0 || rowBytes > 32767 || rows_ > 32767) return;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width_;
    info.header.biHeight = setup.bottomUp ? rows_ : -rows_;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 256;
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = i < static_cast<int>(setup.colours.size()) ? setup.colours[i] : i * 0x010101u;
        info.colours[i] = {static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
    }
    imageBytes_ = static_cast<size_t>(rowBytes) * rows_;
    const size_t total = kGuardBytes + imageBytes_ + kGuardBytes;
    HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(total), nullptr);
    if (!section) return;
    section_ = section;
    view_ = static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, total));
    if (!view_) return;
    RestoreGuards();
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, section,
                                   static_cast<DWORD>(kGuardBytes));
    if (!bmp || !bits) {
        if (bmp) DeleteObject(bmp);
        DeleteDC(dc);
        return;
    }
    dc_ = dc;
    bitmap_ = bmp;
    oldBitmap_ = SelectObject(dc, bmp);
    pixels_ = static_cast<uint8_t*>(bits);
    // A bottom-up DIB keeps the bottom row first: negative stride.
    stride_ = static_cast<int16_t>(setup.bottomUp ? -rowBytes : rowBytes);
}

Element::~Element() {
    if (dc_) {
        SelectObject(static_cast<HDC>(dc_), static_cast<HGDIOBJ>(oldBitmap_));
        DeleteDC(static_cast<HDC>(dc_));
    }
    if (bitmap_) DeleteObject(static_cast<HGDIOBJ>(bitmap_));
    if (view_) UnmapViewOfFile(view_);
    if (section_) CloseHandle(static_cast<HANDLE>(section_));
}

bool Element::GuardsIntact() const {
    GdiFlush();
    const uint8_t* tail = view_ + kGuardBytes + imageBytes_;
    for (size_t i = 0; i < kGuardBytes; ++i)
        if (view_[i] != kGuardByte || tail[i] != kGuardByte) return false;
    return true;
}

void Element::RestoreGuards() const {
    std::memset(view_, kGuardByte, kGuardBytes);
    std::memset(view_ + kGuardBytes + imageBytes_, kGuardByte, kGuardBytes);
}

uint8_t* Element::Row(int y) const {
    const int step = stride_ < 0 ? -stride_ : stride_;
    return stride_ >= 0 ? pixels_ + y * step : pixels_ + (rows_ - 1 - y) * step;
}

void Element::Fill(uint8_t v) const {
    GdiFlush();
    const int step = stride_ < 0 ? -stride_ : stride_;
    std::memset(pixels_, v, static_cast<size_t>(step) * rows_);
}

ObjectId Host::NewElement(const ElementSetup& setup) {
    const ObjectId id = impl_->nextId++;
    auto el = std::make_unique<Element>(id, setup);
    if (!el->ok()) {
        Error("could not make an element surface of " + std::to_string(setup.surfaceWidth) + " x " +
              std::to_string(setup.surfaceRows));
        return 0;
    }
    impl_->elements[id] = std::move(el);
    return id;
}

Element& Host::ElementOf(ObjectId id) { return *impl_->elements.at(id); }

std::vector<DrawCall> Host::Draw(ObjectId elementId) {
    std::vector<DrawCall> calls;
    auto it = impl_->elements.find(elementId);
    if (it == impl_->elements.end()) {
        Error("Draw: no element " + std::to_string(elementId));
        return calls;
    }
    Element& el = *it->second;
    impl_->drawing.insert(elementId);
    GdiFlush();
    const std::vector<HookInfo> hooks = el.Hooks();  // a hook may remove hooks while we draw
    for (const HookInfo& hook : hooks) {
        if (!impl_->Find(hook.instance)) {
            Error("Draw: hook " + std::to_string(hook.id) + " belongs to a destroyed instance");
            continue;
        }
        ElementRect rect = el.rect();
        const ElementRect given = rect;
        DrawRecord draw;
        std::memset(&draw, kPoison, sizeof draw);
        draw.rect = &rect;
        SurfaceRecord surface;
        std::memset(&surface, kPoison, sizeof surface);
        surface.rows = static_cast<int16_t>(el.SurfaceRows());
        surface.stride = el.Stride();
        surface.pixels = el.Pixels();
        surface.dc = el.Dc();
        const SurfaceRecord sent = surface;
        const int16_t r = CallSlot(hook.instance, kHookRow, kSlotHookCallback, hook.instance, &draw, &surface);
        if (std::memcmp(&rect, &given, sizeof rect) != 0 || std::memcmp(&surface, &sent, sizeof surface) != 0)
            Error("a drawing hook wrote into the host's draw or surface record");
        if (!el.GuardsIntact()) {
            Error("a drawing hook wrote outside the surface's pixel memory");
            el.RestoreGuards();
        }
        calls.push_back({hook.id, hook.instance, r});
    }
    GdiFlush();
    impl_->drawing.erase(elementId);
    return calls;
}

}  // namespace hostsim
