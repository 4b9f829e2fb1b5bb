// zqBitmapVariable: the variable type that owns one bitmap.
#include "components/modifiers.h"
#include "framework/host_value.h"
#include "framework/platform.h"
#include "framework/registration.h"

namespace {

// The instance is one handle: the bitmap the variable owns, or null.
HBITMAP Held(const uint8_t* instance) { return LoadAt<HBITMAP>(instance, 0); }
void Hold(uint8_t* instance, HBITMAP bitmap) { StoreAt(instance, 0, bitmap); }

SlotResult HOSTAPI Construct(uint8_t* instance) {
    if (instance) Hold(instance, nullptr);
    return 0;
}

SlotResult HOSTAPI CopyConstruct(uint8_t*, const uint8_t*) { return 0; }

SlotResult HOSTAPI Assign(uint8_t* destination, const uint8_t*) {
    if (destination) Hold(destination, nullptr);
    return 0;
}

SlotResult HOSTAPI Destruct(uint8_t* instance) {
    if (!instance) return 0;
    if (HBITMAP held = Held(instance)) sys().DeleteObject(held);
    Hold(instance, nullptr);
    return 0;
}

SlotResult HOSTAPI ReadAttribute(uint8_t*, const char*, uint32_t, HostValue*) { return 1; }
SlotResult HOSTAPI WriteAttribute(uint8_t*, const char*, uint32_t, HostValue*) { return 1; }

}  // namespace

extern "C" void HOSTAPI zqBitmapVariable(RegistrationRecord* record) {
    const SlotSpec slots[] = {
        {0, kSlotConstruct, reinterpret_cast<void*>(&Construct)},
        {0, kSlotCopyConstruct, reinterpret_cast<void*>(&CopyConstruct)},
        {0, kSlotAssign, reinterpret_cast<void*>(&Assign)},
        {0, kSlotDestruct, reinterpret_cast<void*>(&Destruct)},
        {0, kSlotGetAttribute, reinterpret_cast<void*>(&ReadAttribute)},
        {0, kSlotSetAttribute, reinterpret_cast<void*>(&WriteAttribute)},
    };
    RegisterComponent(record, ComponentInfo{"zqBitmapVariable", 4, kKindVariable, slots, 6});
}
