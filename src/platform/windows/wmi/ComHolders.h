#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

// Releases the reference a pointer holds, if any, and clears the pointer, so that no
// later release can reach it again.
template <class Interface>
void releaseInterface(Interface*& pointer)
{
    if (Interface* held = std::exchange(pointer, nullptr))
        held->Release();
}

// One reference to a COM interface, released once when the holder goes.
template <class Interface>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    Interface* get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    // The place a call writes a new reference to; the holder must be empty.
    Interface** out() { return &pointer; }
    void reset() { releaseInterface(pointer); }

private:
    Interface* pointer = nullptr;
};

// A VARIANT that a call fills, cleared when the holder goes.
class Variant {
public:
    Variant() { VariantInit(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value); }

    VARIANT* out() { return &value; }
    const VARIANT& operator*() const { return value; }

private:
    VARIANT value;
};
