#include "framework/host_calls.h"

#include <cstring>

namespace {

// Shared by every component; written by each registration call past phase 0.
void* services = nullptr;

uint32_t Word(const void* address) {
    uint32_t w;
    std::memcpy(&w, address, 4);
    return w;
}

void* Pointer(uintptr_t address) { return reinterpret_cast<void*>(Word(reinterpret_cast<void*>(address))); }

uint32_t Widen(int16_t v) { return static_cast<uint32_t>(static_cast<int32_t>(v)); }

}  // namespace

void SetServicesRecord(void* record) { services = record; }
void* ServicesRecord() { return services; }

HostObject Service(ServiceNumber n) {
    if (!services) return nullptr;
    return Pointer(reinterpret_cast<uintptr_t>(services) + 4u * n);
}

void* detail::FindMethod(HostObject object, MethodId m, void** self) {
    if (!object) return nullptr;
    const auto handle = reinterpret_cast<uintptr_t>(object);
    const auto base = reinterpret_cast<uintptr_t>(Pointer(handle + kBaseOfHandle));
    const auto primary = reinterpret_cast<uintptr_t>(Pointer(base + kPrimaryInBase));
    const auto* classDescriptor = static_cast<const Descriptor*>(Pointer(primary - 4));
    const SlotEntry& entry = classDescriptor->rows[m.row][m.column];
    const auto thisAddress = base + classDescriptor->interfaceOffsets[entry.word];
    const auto* ownDescriptor = static_cast<const Descriptor*>(Pointer(thisAddress - 4));
    *self = reinterpret_cast<void*>(thisAddress);
    return ownDescriptor->rows[m.row][m.column].function;
}

namespace hm = host_method;

HostStatus VisitValue(void* contextA, void* contextB, void* field) {
    return HostCall(Service(kWalkService), hm::kVisitValue, contextA, contextB, field);
}
HostStatus GetAttributeById(uint32_t objectId, const AttributeName& name, HostValue* result) {
    return HostCall(Service(kValueService), hm::kGetAttributeById, objectId, name.text, 0u, result);
}
HostStatus SetAttributeById(uint32_t objectId, const AttributeName& name, void* value) {
    return HostCall(Service(kValueService), hm::kSetAttributeById, objectId, name.text, 0u, value);
}
HostStatus AddElementHook(uint32_t elementId, HookRecord* hook, IntegerValue* flags) {
    return HostCall(Service(kValueService), hm::kAddElementHook, elementId, hook, flags);
}
HostStatus CopyValue(void* destination, const void* source) {
    return HostCall(Service(kValueService), hm::kCopyValue, destination, source);
}
HostStatus ReleaseValue(void* instance, void* field) {
    return HostCall(Service(kValueService), hm::kReleaseValue, instance, field);
}
HostStatus ResolveReference(const void* reference, void* instance, HostObject* found) {
    return HostCall(Service(kValueService), hm::kResolveReference, reference, instance, found);
}
HostStatus RemoveElementHook(uint32_t elementId, int16_t kind, uint32_t hookId) {
    return HostCall(Service(kValueService), hm::kRemoveElementHook, elementId, Widen(kind), hookId);
}
HostStatus Allocate(void** block, uint32_t size) {
    return HostCall(Service(kMemoryService), hm::kAllocate, block, size);
}
HostStatus Free(void* block) { return HostCall(Service(kMemoryService), hm::kFree, block); }
HostStatus ConvertValue(void* instance, const void* source, void* result) {
    return HostCall(Service(kConversionService), hm::kConvertValue, instance, source, result);
}
HostStatus GetAttribute(HostObject component, const AttributeName& name, void* result) {
    return HostCall(component, hm::kGetAttribute, name.text, 0u, result);
}
HostStatus SetAttribute(HostObject component, const AttributeName& name, void* value) {
    return HostCall(component, hm::kSetAttribute, name.text, 0u, value);
}
HostStatus GetParentElement(void* instance, uint32_t* elementId) {
    return HostCall(instance, hm::kGetParentElement, elementId);
}
HostStatus SetEventInterest(void* instance, int16_t mode, void* eventField) {
    return HostCall(instance, hm::kSetEventInterest, Widen(mode), eventField);
}
HostStatus RefreshElement(void* instance, int16_t flag) {
    return HostCall(instance, hm::kRefreshElement, Widen(flag));
}
HostStatus ValueSize(HostObject stream, const void* value, uint32_t* byteCount) {
    return HostCall(stream, hm::kValueSize, value, byteCount);
}
HostStatus WriteValue(HostObject stream, const void* value) {
    return HostCall(stream, hm::kWriteValue, value);
}
HostStatus ReadValue(HostObject stream, void* value) { return HostCall(stream, hm::kReadValue, value); }
