// Ownership of Win32 resources: one generic move-only owner, so that every
// handle, key, module, GDI object, DC, window, COM apartment, interface and
// shell allocation a function obtains is given back on every way out, and no
// close call is scattered over error paths. An owner is told two things by
// its traits: its kind's "none" value (CreateFileA and FindFirstFileA give
// INVALID_HANDLE_VALUE; threads, processes, events, keys, modules, GDI
// objects, DCs, windows, interfaces and shell allocations give null) and how
// to close a value. Traits may carry what closing needs besides the value
// (the DC a selection is undone in, the window a DC belongs to), so scoped
// changes of state (a GDI object or palette selected into a DC, a window DC,
// a paint scope, the COM apartment, the current directory) are owners too:
// their value is what undoes the change. Every owner offers valid(), get(),
// release() (give up ownership without closing) and reset() (close now, or
// take another value). ScopeGuard runs any callable at scope exit unless
// cancelled. Members whose place in an exported class is fixed stay raw
// HANDLEs and are closed by closeFile, which resets them to
// INVALID_HANDLE_VALUE. Header-only; Win32 builds only.
#ifndef SETUP_WIN32_OWNERSHIP_H
#define SETUP_WIN32_OWNERSHIP_H

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <utility>

#include "common/PathSize.h"

namespace win32 {

// ---------------------------------------------------------------------------
// The owner. Traits give Type, a static none() and close(Type); a traits
// object is kept beside the value (empty ones take no room) and closes it.

template <class Traits>
class Owner {
public:
    using Type = typename Traits::Type;

    Owner() noexcept : held_(Traits(), Traits::none()) {}
    explicit Owner(Type value, Traits traits = Traits()) noexcept
        : held_(std::move(traits), value) {}
    ~Owner() { reset(); }
    Owner(Owner&& other) noexcept : held_(std::move(other.traits()), other.release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            reset();
            traits() = std::move(other.traits());
            held_.value = other.release();
        }
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    bool valid() const { return !(held_.value == Traits::none()); }
    Type get() const { return held_.value; }
    // The value, no longer owned: the caller closes it.
    Type release() {
        Type value = held_.value;
        held_.value = Traits::none();
        return value;
    }
    // Closes the owned value (if any) and owns `value` instead, closed the
    // same way (in the same DC, for the same window).
    void reset(Type value = Traits::none()) {
        Type old = held_.value;
        held_.value = value;
        if (!(old == Traits::none()))
            traits().close(old);
    }
    // For calls that return the value through a pointer: closes what is
    // owned and lets the call fill the owner.
    Type* out() {
        reset();
        return &held_.value;
    }

protected:
    Traits& traits() { return held_; }
    const Traits& traits() const { return held_; }

private:
    // The traits as a base, so that empty ones take no room.
    struct Held : Traits {
        Held(Traits traits, Type value) : Traits(std::move(traits)), value(value) {}
        Type value;
    };
    Held held_;
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

struct MutexOwnershipTraits {
    using Type = HANDLE;
    static Type none() { return nullptr; }
    static void close(Type mutex) { ReleaseMutex(mutex); }
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

struct WindowTraits {
    using Type = HWND;
    static Type none() { return nullptr; }
    static void close(Type window) { DestroyWindow(window); }
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
// A mutex this thread has waited for and holds: ReleaseMutex on the way
// out. Declare it after the KernelHandle of the mutex, so that it is let go
// before the handle closes.
using MutexOwnership = Owner<MutexOwnershipTraits>;
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
// A window this code created: DestroyWindow on the way out. A window that
// its owner window may take along first lets go of its owner from its
// WM_DESTROY (release()), or the handle would be destroyed twice.
using Window = Owner<WindowTraits>;
// Memory from the shell or COM allocator (CoTaskMemFree).
template <class T>
using TaskMemory = Owner<TaskMemoryTraits<T>>;
// An item list from the shell.
using ItemList = TaskMemory<ITEMIDLIST>;
// A COM interface pointer: Release on the way out. out() gives the void**
// that CoCreateInstance and QueryInterface fill.
template <class Interface>
class ComPtr : public Owner<ComTraits<Interface>> {
    using Base = Owner<ComTraits<Interface>>;

public:
    using Base::Base;
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
// Scoped changes of state, as owners: the value is what undoes the change,
// the traits keep where to undo it.

struct SelectionTraits {
    using Type = HGDIOBJ;
    HDC dc = nullptr;
    static Type none() { return nullptr; }
    void close(Type old) const { SelectObject(dc, old); }
};

// Selects a pen, brush, font or bitmap into a DC and selects the previous
// one back when it goes; get() is that previous object. A null object
// selects nothing (and restores nothing). Not for regions: selecting one
// sets a clip and returns no object.
class ObjectSelection : public Owner<SelectionTraits> {
public:
    ObjectSelection() noexcept = default;
    ObjectSelection(HDC dc, HGDIOBJ object) : Owner(select(dc, object), SelectionTraits{dc}) {}

private:
    static HGDIOBJ select(HDC dc, HGDIOBJ object) {
        HGDIOBJ old = dc && object ? SelectObject(dc, object) : nullptr;
        return old == HGDI_ERROR ? nullptr : old;
    }
};

struct PaletteSelectionTraits {
    using Type = HPALETTE;
    HDC dc = nullptr;
    static Type none() { return nullptr; }
    void close(Type old) const {
        SelectPalette(dc, old, FALSE);
        RealizePalette(dc);
    }
};

// Selects a logical palette into a DC (foreground or background) and
// realizes it; when it goes, selects the previous palette back and realizes
// that. A null palette selects nothing. The palette itself is owned by a
// GdiObject<HPALETTE> declared before the selection.
class PaletteSelection : public Owner<PaletteSelectionTraits> {
public:
    PaletteSelection() noexcept = default;
    PaletteSelection(HDC dc, HPALETTE palette, bool background = false)
        : Owner(select(dc, palette, background), PaletteSelectionTraits{dc}) {}

private:
    static HPALETTE select(HDC dc, HPALETTE palette, bool background) {
        HPALETTE old = dc && palette ? SelectPalette(dc, palette, background ? TRUE : FALSE) : nullptr;
        if (old)
            RealizePalette(dc);
        return old;
    }
};

struct WindowDCTraits {
    using Type = HDC;
    HWND window = nullptr;
    static Type none() { return nullptr; }
    void close(Type dc) const { ReleaseDC(window, dc); }
};

// A window's DC from GetDC, given back with ReleaseDC.
class WindowDC : public Owner<WindowDCTraits> {
public:
    WindowDC() noexcept = default;
    explicit WindowDC(HWND window) : Owner(GetDC(window), WindowDCTraits{window}) {}
};

struct PaintTraits {
    using Type = HDC;
    HWND window = nullptr;
    PAINTSTRUCT paint = {};
    static Type none() { return nullptr; }
    void close(Type) { EndPaint(window, &paint); }
};

// BeginPaint for a WM_PAINT, EndPaint when it goes; get() is the paint DC.
class PaintScope : public Owner<PaintTraits> {
public:
    explicit PaintScope(HWND window) : Owner(begin(window)) {}
    const PAINTSTRUCT& paint() const { return traits().paint; }

private:
    static Owner<PaintTraits> begin(HWND window) {
        PaintTraits traits;
        traits.window = window;
        HDC dc = BeginPaint(window, &traits.paint);
        return Owner<PaintTraits>(dc, traits);
    }
};

struct ComApartmentTraits {
    using Type = bool;  // this owner's initialisation succeeded
    static Type none() { return false; }
    static void close(Type) { CoUninitialize(); }
};

// COM on the calling thread, single-threaded apartment, for the scope.
// Uninitialised only when this owner's initialisation succeeded: a thread
// already in a multithreaded apartment keeps it. release() keeps COM
// initialised beyond the scope and says whether it was ours to end.
class ComApartment : public Owner<ComApartmentTraits> {
public:
    ComApartment() : Owner(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
};

struct CurrentDirectoryTraits {
    using Type = bool;  // a directory is kept
    char saved[PathSize] = "";
    static Type none() { return false; }
    void close(Type) const { SetCurrentDirectoryA(saved); }
};

// Keeps the process's current directory and puts it back when it goes. A
// current directory too long for a path buffer is not kept (valid() false).
// release() stops keeping it: the current directory stays wherever it is.
class CurrentDirectoryKeeper : public Owner<CurrentDirectoryTraits> {
public:
    CurrentDirectoryKeeper() : Owner(keep()) {}
    // The directory kept.
    const char* path() const { return traits().saved; }
    // Goes back now and keeps it for the way out too.
    void restore() const {
        if (valid())
            traits().close(true);
    }

private:
    static Owner<CurrentDirectoryTraits> keep() {
        CurrentDirectoryTraits traits;
        DWORD length = GetCurrentDirectoryA(sizeof traits.saved, traits.saved);
        bool kept = length != 0 && length < sizeof traits.saved;
        return Owner<CurrentDirectoryTraits>(kept, traits);
    }
};

// A named mutex, shared by every process of the session, waited for (at
// most `waitMs`) and held for the scope. A holder that hangs does not stop
// the caller for good: held() then says false and the caller decides.
class NamedMutexLock {
public:
    NamedMutexLock(const char* name, DWORD waitMs) : mutex_(CreateMutexA(nullptr, FALSE, name)) {
        if (!mutex_.valid())
            return;
        // Abandoned: its holder ended inside its step; the lock is ours now.
        DWORD waited = WaitForSingleObject(mutex_.get(), waitMs);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
            held_.reset(mutex_.get());
    }
    bool held() const { return held_.valid(); }

private:
    KernelHandle mutex_;
    MutexOwnership held_;  // let go before the handle closes
};

// ---------------------------------------------------------------------------
// Any clean-up at scope exit, for what has no owner of its own (a flag to
// lower, a field to put back). cancel() when the clean-up is not wanted.

template <class Function>
struct ScopeExitTraits {
    using Type = bool;  // still to run
    Function function;
    static Type none() { return false; }
    void close(Type) { function(); }
};

template <class Function>
class ScopeGuard : public Owner<ScopeExitTraits<Function>> {
    using Base = Owner<ScopeExitTraits<Function>>;

public:
    explicit ScopeGuard(Function function) : Base(true, ScopeExitTraits<Function>{std::move(function)}) {}
    // The clean-up will not run.
    void cancel() { this->release(); }
};

// auto guard = atScopeExit([&] { ... });
template <class Function>
ScopeGuard<Function> atScopeExit(Function function) {
    return ScopeGuard<Function>(std::move(function));
}

}  // namespace win32

#endif
