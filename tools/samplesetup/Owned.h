// The sample's owners of Windows handles: each closes what it holds when it
// goes, so no early return leaks a handle and no close call is written by
// hand. A product's setup includes nothing of the library but the SDK's
// headers, so the sample carries the one it needs (the headings' font) of
// its own; copy this file with the rest.
#ifndef SAMPLE_SETUP_OWNED_H
#define SAMPLE_SETUP_OWNED_H

#include <windows.h>

// Holds one handle; Traits give its "none" value and how to close it.
template <class Traits>
class Owned {
public:
    using Type = typename Traits::Type;

    explicit Owned(Type value = Traits::none()) : value_(value) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    bool valid() const { return value_ != Traits::none(); }
    Type get() const { return value_; }
    // Closes what is held (if anything) and holds `value` instead.
    void reset(Type value = Traits::none()) {
        if (valid())
            Traits::close(value_);
        value_ = value;
    }
    // For calls that return the handle through a pointer.
    Type* out() {
        reset();
        return &value_;
    }

private:
    Type value_;
};

struct FontTraits {
    using Type = HFONT;
    static Type none() { return nullptr; }
    static void close(Type font) { DeleteObject(font); }
};

using OwnedFont = Owned<FontTraits>;

#endif
