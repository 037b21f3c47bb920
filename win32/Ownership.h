// Ownership of Win32 resources: one small move-only owner per kind, so that
// every handle, key, module, GDI object, DC, COM apartment, interface and
// shell allocation a function obtains is given back on every way out, and no
// close call is scattered over error paths. Each owner knows its kind's
// "none" value (CreateFileA and FindFirstFileA give INVALID_HANDLE_VALUE;
// threads, processes, events, keys, modules, GDI objects, memory DCs,
// interfaces and shell allocations give null) and offers valid(), get(),
// release() (give up ownership without closing) and reset() (close now, or
// take another value). Scoped changes of state (a GDI object selected into
// a DC, a palette selected and realized, a window DC, a paint scope, the COM
// apartment, the current directory) are guards that undo the change when
// they go. Members whose
// place in an exported class is fixed stay raw HANDLEs and are closed by
// closeFile, which resets them to INVALID_HANDLE_VALUE. Header-only; Win32
// builds only.
#ifndef SETUP_WIN32_OWNERSHIP_H
#define SETUP_WIN32_OWNERSHIP_H

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "common/PathSize.h"

namespace win32 {

// ---------------------------------------------------------------------------
// Owners of one value. Traits give the type, its "none" and how to close it.

template <class Traits>
class Owner {
public:
    using Type = typename Traits::Type;

    Owner() noexcept : value_(Traits::none()) {}
    explicit Owner(Type value) noexcept : value_(value) {}
    ~Owner() { reset(); }
    Owner(Owner&& other) noexcept : value_(other.release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    bool valid() const { return value_ != Traits::none(); }
    Type get() const { return value_; }
    // The value, no longer owned: the caller closes it.
    Type release() {
        Type value = value_;
        value_ = Traits::none();
        return value;
    }
    // Closes the owned value (if any) and owns `value` instead.
    void reset(Type value = Traits::none()) {
        Type old = value_;
        value_ = value;
        if (old != Traits::none())
            Traits::close(old);
    }
    // For calls that return the value through a pointer: closes what is
    // owned and lets the call fill the owner.
    Type* out() {
        reset();
        return &value_;
    }

private:
    Type value_;
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type none() { return INVALID_HANDLE_VALUE; }
    static void close(Type handle) { CloseHandle(handle); }
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type none() { return nullptr; }
    static void close(Type handle) { CloseHandle(handle); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type none() { return INVALID_HANDLE_VALUE; }
    static void close(Type handle) { FindClose(handle); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type none() { return nullptr; }
    static void close(Type key) { RegCloseKey(key); }
};

struct HookTraits {
    using Type = HHOOK;
    static Type none() { return nullptr; }
    static void close(Type hook) { UnhookWindowsHookEx(hook); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type none() { return nullptr; }
    static void close(Type module) { FreeLibrary(module); }
};

template <class T>
struct GdiObjectTraits {
    using Type = T;
    static Type none() { return nullptr; }
    static void close(Type object) { DeleteObject(object); }
};

struct MemoryDCTraits {
    using Type = HDC;
    static Type none() { return nullptr; }
    static void close(Type dc) { DeleteDC(dc); }
};

template <class T>
struct TaskMemoryTraits {
    using Type = T*;
    static Type none() { return nullptr; }
    static void close(Type memory) { CoTaskMemFree(memory); }
};

template <class Interface>
struct ComTraits {
    using Type = Interface*;
    static Type none() { return nullptr; }
    static void close(Type object) { object->Release(); }
};

// CreateFileA: INVALID_HANDLE_VALUE is none.
using FileHandle = Owner<FileHandleTraits>;
// Threads, processes, events, mutexes: null is none.
using KernelHandle = Owner<KernelHandleTraits>;
// FindFirstFileA: INVALID_HANDLE_VALUE is none, FindClose closes.
using FindHandle = Owner<FindHandleTraits>;
// A key opened or created below a root key (never a predefined root itself).
using RegistryKey = Owner<RegistryKeyTraits>;
// LoadLibraryA: FreeLibrary on the way out.
using LibraryModule = Owner<ModuleTraits>;
using HookHandle = Owner<HookTraits>;
// Pens, brushes, fonts, bitmaps, regions: DeleteObject. Never delete an
// object that is still selected into a DC: let its ObjectSelection go first
// (declare the object before the selection).
template <class T>
using GdiObject = Owner<GdiObjectTraits<T>>;
// CreateCompatibleDC: DeleteDC on the way out (a window's own DC is a
// WindowDC instead).
using MemoryDC = Owner<MemoryDCTraits>;
// Memory from the shell or COM allocator (CoTaskMemFree).
template <class T>
using TaskMemory = Owner<TaskMemoryTraits<T>>;
// An item list from the shell.
using ItemList = TaskMemory<ITEMIDLIST>;
// A COM interface pointer: Release on the way out. out() gives the void**
// that CoCreateInstance and QueryInterface fill.
template <class Interface>
class ComPtr : public Owner<ComTraits<Interface>> {
public:
    using Owner<ComTraits<Interface>>::Owner;
    Interface* operator->() const { return this->get(); }
    void** outVoid() { return reinterpret_cast<void**>(this->out()); }
};

// The one way a raw file handle member (fixed in an exported class) is
// closed: closes it when open and leaves it INVALID_HANDLE_VALUE.
inline void closeFile(HANDLE& file) {
    FileHandle owner(file);
    file = INVALID_HANDLE_VALUE;
}

// ---------------------------------------------------------------------------
// Guards of a scoped change.

// Selects a pen, brush, font or bitmap into a DC and selects the previous
// one back when it goes. A null object selects nothing (and restores
// nothing). Not for regions: selecting one sets a clip and returns no object.
class ObjectSelection {
public:
    ObjectSelection() noexcept : dc_(nullptr), old_(nullptr) {}
    ObjectSelection(HDC dc, HGDIOBJ object)
        : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {
        if (old_ == HGDI_ERROR)
            old_ = nullptr;
    }
    ~ObjectSelection() { reset(); }
    ObjectSelection(ObjectSelection&& other) noexcept
        : dc_(other.dc_), old_(other.release()) {}
    ObjectSelection& operator=(ObjectSelection&& other) noexcept {
        if (this != &other) {
            reset();
            dc_ = other.dc_;
            old_ = other.release();
        }
        return *this;
    }
    ObjectSelection(const ObjectSelection&) = delete;
    ObjectSelection& operator=(const ObjectSelection&) = delete;

    bool valid() const { return old_ != nullptr; }
    // The object that was selected before, to be put back.
    HGDIOBJ get() const { return old_; }
    // Leaves the new object selected.
    HGDIOBJ release() {
        HGDIOBJ old = old_;
        old_ = nullptr;
        return old;
    }
    // Selects the previous object back now.
    void reset() {
        if (old_)
            SelectObject(dc_, old_);
        old_ = nullptr;
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Selects a logical palette into a DC (foreground or background) and
// realizes it; when it goes, selects the previous palette back and realizes
// that. A null palette selects nothing. The palette itself is owned by a
// GdiObject<HPALETTE> declared before the selection.
class PaletteSelection {
public:
    PaletteSelection() noexcept : dc_(nullptr), old_(nullptr) {}
    PaletteSelection(HDC dc, HPALETTE palette, bool background = false)
        : dc_(dc), old_(dc && palette ? SelectPalette(dc, palette, background ? TRUE : FALSE) : nullptr) {
        if (old_)
            RealizePalette(dc_);
    }
    ~PaletteSelection() { reset(); }
    PaletteSelection(PaletteSelection&& other) noexcept : dc_(other.dc_), old_(other.release()) {}
    PaletteSelection& operator=(PaletteSelection&& other) noexcept {
        if (this != &other) {
            reset();
            dc_ = other.dc_;
            old_ = other.release();
        }
        return *this;
    }
    PaletteSelection(const PaletteSelection&) = delete;
    PaletteSelection& operator=(const PaletteSelection&) = delete;

    bool valid() const { return old_ != nullptr; }
    // The palette that was selected before, to be put back.
    HPALETTE get() const { return old_; }
    // Leaves the new palette selected.
    HPALETTE release() {
        HPALETTE old = old_;
        old_ = nullptr;
        return old;
    }
    // Selects the previous palette back now and realizes it.
    void reset() {
        if (old_) {
            SelectPalette(dc_, old_, FALSE);
            RealizePalette(dc_);
        }
        old_ = nullptr;
    }

private:
    HDC dc_;
    HPALETTE old_;
};

// A window's DC from GetDC, given back with ReleaseDC.
class WindowDC {
public:
    WindowDC() noexcept : window_(nullptr), dc_(nullptr) {}
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() { reset(); }
    WindowDC(WindowDC&& other) noexcept : window_(other.window_), dc_(other.release()) {}
    WindowDC& operator=(WindowDC&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = other.window_;
            dc_ = other.release();
        }
        return *this;
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    bool valid() const { return dc_ != nullptr; }
    HDC get() const { return dc_; }
    // The DC, no longer owned: the caller releases it.
    HDC release() {
        HDC dc = dc_;
        dc_ = nullptr;
        return dc;
    }
    void reset() {
        if (dc_)
            ReleaseDC(window_, dc_);
        dc_ = nullptr;
    }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint for a WM_PAINT, EndPaint when it goes.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), paint_() {
        if (!BeginPaint(window, &paint_))
            window_ = nullptr;
    }
    ~PaintScope() { reset(); }
    PaintScope(PaintScope&& other) noexcept : window_(other.window_), paint_(other.paint_) {
        other.window_ = nullptr;
    }
    PaintScope& operator=(PaintScope&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = other.window_;
            paint_ = other.paint_;
            other.window_ = nullptr;
        }
        return *this;
    }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    bool valid() const { return window_ != nullptr; }
    HDC get() const { return valid() ? paint_.hdc : nullptr; }
    const PAINTSTRUCT& paint() const { return paint_; }
    // The paint structure, no longer ended here: the caller calls EndPaint.
    PAINTSTRUCT release() {
        window_ = nullptr;
        return paint_;
    }
    void reset() {
        if (window_)
            EndPaint(window_, &paint_);
        window_ = nullptr;
    }

private:
    HWND window_;
    PAINTSTRUCT paint_;
};

// COM on the calling thread, single-threaded apartment, for the scope.
// Uninitialised only when this guard's initialisation succeeded: a thread
// already in a multithreaded apartment keeps it.
class ComApartment {
public:
    ComApartment() : joined_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() { reset(); }
    ComApartment(ComApartment&& other) noexcept : joined_(other.release()) {}
    ComApartment& operator=(ComApartment&& other) noexcept {
        if (this != &other) {
            reset();
            joined_ = other.release();
        }
        return *this;
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool valid() const { return joined_; }
    bool get() const { return joined_; }
    // Keeps COM initialised beyond the scope; true when it was ours to end.
    bool release() {
        bool joined = joined_;
        joined_ = false;
        return joined;
    }
    void reset() {
        if (joined_)
            CoUninitialize();
        joined_ = false;
    }

private:
    bool joined_;
};

// Keeps the process's current directory and puts it back when it goes. A
// current directory too long for a path buffer is not kept (valid() false).
class CurrentDirectoryKeeper {
public:
    CurrentDirectoryKeeper() {
        DWORD length = GetCurrentDirectoryA(sizeof saved_, saved_);
        if (length == 0 || length >= sizeof saved_)
            saved_[0] = '\0';
    }
    ~CurrentDirectoryKeeper() { reset(); }
    CurrentDirectoryKeeper(CurrentDirectoryKeeper&& other) noexcept {
        lstrcpynA(saved_, other.saved_, sizeof saved_);
        other.saved_[0] = '\0';
    }
    CurrentDirectoryKeeper& operator=(CurrentDirectoryKeeper&& other) noexcept {
        if (this != &other) {
            reset();
            lstrcpynA(saved_, other.saved_, sizeof saved_);
            other.saved_[0] = '\0';
        }
        return *this;
    }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;

    bool valid() const { return saved_[0] != '\0'; }
    // The directory kept ("" when none).
    const char* get() const { return saved_; }
    // Stops keeping it: the current directory stays wherever it is.
    void release() { saved_[0] = '\0'; }
    // Goes back now and stops keeping it.
    void reset() {
        if (saved_[0])
            SetCurrentDirectoryA(saved_);
        saved_[0] = '\0';
    }
    // Goes back now and keeps it for the way out too.
    void restore() const {
        if (saved_[0])
            SetCurrentDirectoryA(saved_);
    }

private:
    char saved_[PathSize];
};

}  // namespace win32

#endif
