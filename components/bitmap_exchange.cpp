#include "components/bitmap_exchange.h"

#include "framework/host_value.h"

int32_t BitmapPayload(HBITMAP bitmap) { return static_cast<int32_t>(reinterpret_cast<uintptr_t>(bitmap)); }

HBITMAP BitmapFromPayload(int32_t payload) {
    return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(payload)));
}

HostObject FindBitmapVariable(uint8_t* instance, size_t referenceOffset) {
    HostObject variable = nullptr;
    if (ResolveReference(instance + referenceOffset, instance, &variable) != 0) return nullptr;
    return variable;
}

HBITMAP BorrowBitmap(HostObject variable) {
    if (!variable) return nullptr;
    HostValue held{};
    SetInteger(&held, 0);
    if (GetAttribute(variable, kValueName, &held) != 0 || TagOf(&held) != kTagInteger) return nullptr;
    return BitmapFromPayload(IntegerPayload(&held));
}

bool HandBitmapTo(HostObject variable, HBITMAP picture) {
    HostValue value{};
    SetInteger(&value, BitmapPayload(picture));
    return SetAttribute(variable, kValueName, &value) == 0;
}
