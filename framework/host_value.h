#pragma once
// Reading and building host values, and the text rules of string values.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "framework/host_abi.h"
#include "framework/host_calls.h"
#include "platform/text_buffer.h"

// Packed fields are read and written by value, never through a reference.
template <class T>
T LoadAt(const void* base, size_t offset) {
    T v;
    std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, sizeof v);
    return v;
}
template <class T>
void StoreAt(void* base, size_t offset, T v) {
    std::memcpy(static_cast<uint8_t*>(base) + offset, &v, sizeof v);
}

inline int16_t TagOf(const void* value) { return LoadAt<int16_t>(value, 0); }

// A boolean field of an instance: any payload but 0 is on.
inline bool IsOn(const void* instance, size_t offset) { return LoadAt<BooleanValue>(instance, offset).value != 0; }

// Tag 1 with a 32-bit payload.
inline void SetInteger(void* value, int32_t payload) {
    StoreAt<int16_t>(value, 0, kTagInteger);
    StoreAt<int32_t>(value, 2, payload);
}
inline int32_t IntegerPayload(const void* value) { return LoadAt<int32_t>(value, 2); }

// The value in force for one action: what the message carries when the
// configured value asks for message data, else the configured value.
inline const HostValue* ValueInForce(const HostValue* configured, const MessageRecord& message) {
    return configured->tag == kTagMessageData ? &message.value : configured;
}

// The object id a reference names: at 2 for tag 115, at 10 for tag 105.
uint32_t ReferenceId(const HostValue& reference);

// Copies a string value's text into `out`: at most 255 characters and a zero
// byte. Any other kind of value, or a string without a text block, gives "".
// Returns the number of characters copied.
size_t ReadText(const HostValue& value, TextBuffer& out);

// Stores `text` as the "value" attribute of a variable: through `variable`
// when there is one, else by `objectId`. The text block comes from the host;
// afterwards it is freed unless the host took it (an owner other than none
// and `instance`). Without a block from the host nothing is stored and the
// result is false.
bool StoreText(void* instance, HostObject variable, uint32_t objectId, const char* text);
