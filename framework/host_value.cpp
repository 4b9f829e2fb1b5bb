#include "framework/host_value.h"

uint32_t ReferenceId(const HostValue& reference) {
    return LoadAt<uint32_t>(&reference, reference.tag == kTagLongReference ? kLongReferenceIdOffset
                                                                           : kReferenceIdOffset);
}

size_t ReadText(const HostValue& value, TextBuffer& out) {
    out[0] = '\0';
    if (value.tag != kTagString) return 0;
    const auto s = LoadAt<StringValue>(&value, 0);
    if (!s.text) return 0;
    size_t n = s.length < kMaxText ? s.length : kMaxText;
    // Never read past the block, whatever the length says.
    if (s.capacity != 0 && n >= s.capacity) n = s.capacity - 1;
    std::memcpy(out, s.text, n);
    out[n] = '\0';
    return n;
}

bool StoreText(void* instance, HostObject variable, uint32_t objectId, const char* text) {
    const size_t n = std::strlen(text);
    HostValue value{};
    StringValue s{kTagString, kNoOwner, 0, 0, nullptr};
    void* block = nullptr;
    Allocate(&block, static_cast<uint32_t>(n + 1));
    if (!block) return false;
    s.capacity = static_cast<uint32_t>(n + 1);
    std::memcpy(block, text, n);
    static_cast<char*>(block)[n] = '\0';
    s.length = static_cast<uint32_t>(n);
    s.text = static_cast<char*>(block);
    StoreAt(&value, 0, s);

    if (variable)
        SetAttribute(variable, kValueName, &value);
    else
        SetAttributeById(objectId, kValueName, &value);

    const auto after = LoadAt<StringValue>(&value, 0);
    const bool hostKeptIt = after.owner != kNoOwner && after.owner != static_cast<int32_t>(reinterpret_cast<uintptr_t>(instance));
    if (!hostKeptIt && after.text) Free(after.text);
    return true;
}
