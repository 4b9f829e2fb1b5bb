#include "framework/variable_lookup.h"

#include "framework/host_value.h"

const HostValue* VariableLookup(ModifierState& type, void* instance, const HostValue* value, HostObject* found) {
    if (!value || (value->tag != kTagReference && value->tag != kTagLongReference)) return value;
    HostObject object = nullptr;
    ResolveReference(value, instance, &object);
    if (found) *found = object;
    HostValue& buffer = type.lookup;
    buffer.tag = kTagAny;
    if (object) {
        GetAttribute(object, kValueName, &buffer);
        return &buffer;
    }
    const uint32_t id = ReferenceId(*value);
    GetAttributeById(id, kValueName, &buffer);
    if (buffer.tag == kTagObjectValue) StoreAt<uint32_t>(&buffer, kObjectValueIdOffset, id);
    return &buffer;
}
