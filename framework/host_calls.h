#pragma once
// Every call into the host: objects are found by row and column through their
// method tables, and each host method has one thin typed wrapper here.
#include <cstdint>

#include "framework/host_abi.h"

using HostObject = void*;

// Returned, without calling, when the object to call is missing.
inline constexpr HostStatus kNoHostObject = -1;

// The process-wide copy of the services pointer, kept by registration.
void SetServicesRecord(void* services);
void* ServicesRecord();
HostObject Service(ServiceNumber n);

namespace detail {
// Walks the method tables of `object` to method (row, column) and gives the
// function with the `this` it must be called with; null when there is no object.
void* FindMethod(HostObject object, MethodId m, void** self);
}  // namespace detail

// Calls a host method; arguments after `this` are 32-bit words.
template <class... Args>
HostStatus HostCall(HostObject object, MethodId m, Args... args) {
    static_assert(((sizeof(Args) == 4) && ...), "host methods take 32-bit words");
    void* self = nullptr;
    void* function = detail::FindMethod(object, m, &self);
    if (!function) return kNoHostObject;
    using Method = int16_t(HOSTAPI*)(void*, Args...);
    return reinterpret_cast<Method>(function)(self, args...);
}

// Attribute names travel as 16 zero-padded bytes.
struct AttributeName {
    char text[16];
};
inline constexpr AttributeName kValueName{"value"};
inline constexpr AttributeName kWidthName{"width"};
inline constexpr AttributeName kHeightName{"height"};

// WalkService
HostStatus VisitValue(void* contextA, void* contextB, void* field);
// ValueService
HostStatus GetAttributeById(uint32_t objectId, const AttributeName& name, HostValue* result);
HostStatus SetAttributeById(uint32_t objectId, const AttributeName& name, void* value);
HostStatus AddElementHook(uint32_t elementId, HookRecord* hook, IntegerValue* flags);
HostStatus CopyValue(void* destination, const void* source);
HostStatus ReleaseValue(void* instance, void* field);
HostStatus ResolveReference(const void* reference, void* instance, HostObject* found);
HostStatus RemoveElementHook(uint32_t elementId, int16_t kind, uint32_t hookId);
// MemoryService
HostStatus Allocate(void** block, uint32_t size);
HostStatus Free(void* block);
// ConversionService
HostStatus ConvertValue(void* instance, const void* source, void* result);
// A component found through a reference
HostStatus GetAttribute(HostObject component, const AttributeName& name, void* result);
HostStatus SetAttribute(HostObject component, const AttributeName& name, void* value);
// The calling instance
HostStatus GetParentElement(void* instance, uint32_t* elementId);
HostStatus SetEventInterest(void* instance, int16_t mode, void* eventField);
HostStatus RefreshElement(void* instance, int16_t flag);
// The stream object handed to SavedSize, Save and Load
HostStatus ValueSize(HostObject stream, const void* value, uint32_t* byteCount);
HostStatus WriteValue(HostObject stream, const void* value);
HostStatus ReadValue(HostObject stream, void* value);
