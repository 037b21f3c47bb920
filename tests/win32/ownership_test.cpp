// The Win32 ownership layer: the generic owner's bookkeeping on a recording
// kind (each value closed once, by its last owner, with the context its
// traits carry), then on real resources: owners close what they hold when
// they go (a file can be opened exclusively again, a named event is gone, a
// brush is deleted, a module unloaded, a window destroyed), a moved-from or
// released owner closes nothing, scoped changes put back the DC selection,
// the current directory and the COM apartment as they found them, and a
// scope guard runs once unless cancelled.
#include "win32/Ownership.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include "TestEnv.h"

namespace {

// The file opened with no sharing: fails while anyone else holds it open.
HANDLE openExclusive(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool openableExclusively(const std::string& path) {
    HANDLE h = openExclusive(path);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

// A kind whose values are ints, -1 none, and whose closes are recorded with
// the traits' context, so that the owner's bookkeeping can be watched.
std::vector<std::string> g_closed;

struct RecordingTraits {
    using Type = int;
    const char* context = "";
    static Type none() { return -1; }
    void close(Type value) const { g_closed.push_back(std::string(context) + std::to_string(value)); }
};
using Recorded = win32::Owner<RecordingTraits>;

TEST(Owner, EachValueIsClosedOnceByItsLastOwnerWithItsContext) {
    struct Case {
        const char* what;
        void (*run)();
        std::vector<std::string> closed;
    };
    const Case cases[] = {
        {"goes out of scope", [] { Recorded a(1, {"dc:"}); }, {"dc:1"}},
        {"none is never closed", [] { Recorded a; Recorded b(-1); EXPECT_FALSE(a.valid() || b.valid()); }, {}},
        {"moved, closed by the target",
         [] {
             Recorded target(2, {"old:"});
             {
                 Recorded source(3, {"new:"});
                 target = std::move(source);  // closes 2 with its own context
                 EXPECT_FALSE(source.valid());
             }
             g_closed.push_back("|");
         },
         {"old:2", "|", "new:3"}},
        {"move-constructed", [] { Recorded a(4); Recorded b(std::move(a)); EXPECT_EQ(4, b.get()); }, {"4"}},
        {"released, closed by nobody", [] { Recorded a(5); EXPECT_EQ(5, a.release()); EXPECT_FALSE(a.valid()); }, {}},
        {"reset keeps the context",
         [] {
             Recorded a(6, {"x:"});
             a.reset(7);
             g_closed.push_back("|");
         },
         {"x:6", "|", "x:7"}},
        {"out closes before the call fills it",
         [] {
             Recorded a(8);
             *a.out() = 9;
             g_closed.push_back("|");
         },
         {"8", "|", "9"}},
    };
    for (const Case& c : cases) {
        g_closed.clear();
        c.run();
        EXPECT_EQ(c.closed, g_closed) << c.what;
    }
}

TEST(Owner, NoneOfEachKind) {
    EXPECT_EQ(INVALID_HANDLE_VALUE, win32::FileHandle().get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, win32::FindHandle().get());
    EXPECT_EQ(nullptr, win32::KernelHandle().get());
    EXPECT_EQ(nullptr, win32::RegistryKey().get());
    EXPECT_EQ(nullptr, win32::Window().get());
    EXPECT_EQ(nullptr, win32::ObjectSelection().get());
    // Empty traits take no room: an owner is as big as its handle.
    EXPECT_EQ(sizeof(HANDLE), sizeof(win32::KernelHandle));
}

TEST(ScopeGuard, RunsOnceAtScopeExitUnlessCancelled) {
    int runs = 0;
    {
        auto kept = win32::atScopeExit([&] { ++runs; });
        auto moved(std::move(kept));  // the moved-from guard runs nothing
        auto cancelled = win32::atScopeExit([&] { runs += 100; });
        cancelled.cancel();
        EXPECT_EQ(0, runs);
    }
    EXPECT_EQ(1, runs);
}

class Ownership : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        file = dir + "\\held.txt";
        ASSERT_TRUE(testenv::writeFile(file, std::string("held")));
    }
    std::string dir;
    std::string file;
};

TEST_F(Ownership, FileHandleClosesWhenItGoes) {
    {
        win32::FileHandle held(openExclusive(file));
        ASSERT_TRUE(held.valid());
        EXPECT_FALSE(openableExclusively(file));
    }
    EXPECT_TRUE(openableExclusively(file));

    win32::FileHandle none(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none.valid());
    win32::FileHandle empty;
    EXPECT_EQ(INVALID_HANDLE_VALUE, empty.get());
}

TEST_F(Ownership, MovedFromOwnerDoesNotClose) {
    win32::FileHandle target;
    {
        win32::FileHandle source(openExclusive(file));
        ASSERT_TRUE(source.valid());
        target = std::move(source);
        EXPECT_FALSE(source.valid());
    }
    // The source went; the file is still held by the target.
    EXPECT_TRUE(target.valid());
    EXPECT_FALSE(openableExclusively(file));
    win32::FileHandle third(std::move(target));
    EXPECT_FALSE(openableExclusively(file));
    third.reset();
    EXPECT_TRUE(openableExclusively(file));
}

TEST_F(Ownership, ReleaseHandsOverAndResetClosesTheOldValue) {
    HANDLE raw;
    {
        win32::FileHandle held(openExclusive(file));
        raw = held.release();
        EXPECT_FALSE(held.valid());
    }
    EXPECT_FALSE(openableExclusively(file));  // released: still open
    win32::FileHandle again(raw);
    std::string other = dir + "\\other.txt";
    ASSERT_TRUE(testenv::writeFile(other, std::string("x")));
    again.reset(openExclusive(other));  // closes the first file
    EXPECT_TRUE(openableExclusively(file));
    EXPECT_FALSE(openableExclusively(other));
}

// Raw members of the exported classes are closed by closeFile and left at
// INVALID_HANDLE_VALUE, so that closing again does nothing.
TEST_F(Ownership, CloseFileResetsARawMember) {
    HANDLE member = openExclusive(file);
    ASSERT_NE(INVALID_HANDLE_VALUE, member);
    win32::closeFile(member);
    EXPECT_EQ(INVALID_HANDLE_VALUE, member);
    EXPECT_TRUE(openableExclusively(file));
    win32::closeFile(member);
    EXPECT_EQ(INVALID_HANDLE_VALUE, member);
}

TEST_F(Ownership, FindHandleNoneIsInvalidHandleValue) {
    WIN32_FIND_DATAA found;
    win32::FindHandle search(FindFirstFileA((dir + "\\*.txt").c_str(), &found));
    EXPECT_TRUE(search.valid());
    EXPECT_STREQ("held.txt", found.cFileName);
    win32::FindHandle nothing(FindFirstFileA((dir + "\\*.none").c_str(), &found));
    EXPECT_FALSE(nothing.valid());
}

TEST(KernelHandle, NullIsNoneAndTheObjectGoesWithTheLastHandle) {
    const char name[] = "SetupOwnershipTestEvent";
    {
        win32::KernelHandle event(CreateEventA(nullptr, TRUE, FALSE, name));
        ASSERT_TRUE(event.valid());
        win32::KernelHandle opened(OpenEventA(SYNCHRONIZE, FALSE, name));
        EXPECT_TRUE(opened.valid());
    }
    win32::KernelHandle gone(OpenEventA(SYNCHRONIZE, FALSE, name));
    EXPECT_FALSE(gone.valid());
    EXPECT_EQ(nullptr, gone.get());
}

TEST(RegistryKey, ClosedWhenItGoes) {
    HKEY raw = nullptr;
    {
        win32::RegistryKey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\SetupOwnershipTest",
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(),
                                                 nullptr));
        ASSERT_TRUE(key.valid());
        raw = key.get();
        DWORD values = 99;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(raw, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, &values, nullptr, nullptr, nullptr,
                                                  nullptr));
    }
    DWORD values = 0;
    EXPECT_NE(ERROR_SUCCESS, RegQueryInfoKeyA(raw, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, &values, nullptr, nullptr, nullptr,
                                              nullptr));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\SetupOwnershipTest");
}

TEST(LibraryModule, FreedWhenItGoes) {
    std::string path = testenv::binPath("engine_blank.dll");
    ASSERT_EQ(nullptr, GetModuleHandleA(path.c_str()));
    {
        win32::LibraryModule module(LoadLibraryA(path.c_str()));
        ASSERT_TRUE(module.valid());
        EXPECT_EQ(module.get(), GetModuleHandleA(path.c_str()));
    }
    EXPECT_EQ(nullptr, GetModuleHandleA(path.c_str()));
}

TEST(GdiObject, DeletedWhenItGoes) {
    HBRUSH raw;
    {
        win32::GdiObject<HBRUSH> brush(CreateSolidBrush(RGB(1, 2, 3)));
        ASSERT_TRUE(brush.valid());
        raw = brush.get();
        EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(raw));
    }
    EXPECT_EQ(0u, GetObjectType(raw));
}

TEST(ObjectSelection, PutsTheOldObjectBack) {
    win32::MemoryDC memory(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(memory.valid());
    HDC dc = memory.get();
    HGDIOBJ before = GetCurrentObject(dc, OBJ_FONT);
    {
        win32::GdiObject<HFONT> font(CreateFontA(20, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0,
                                                 0, 0, "Arial"));
        ASSERT_TRUE(font.valid());
        win32::ObjectSelection selection(dc, font.get());
        EXPECT_TRUE(selection.valid());
        EXPECT_EQ(before, selection.get());
        EXPECT_EQ(font.get(), GetCurrentObject(dc, OBJ_FONT));
        // A moved selection restores once, when its last owner goes.
        win32::ObjectSelection moved(std::move(selection));
        EXPECT_FALSE(selection.valid());
        EXPECT_EQ(font.get(), GetCurrentObject(dc, OBJ_FONT));
    }
    // The selection went before the font: the font was not selected when
    // it was deleted.
    EXPECT_EQ(before, GetCurrentObject(dc, OBJ_FONT));
    {
        win32::ObjectSelection nothing(dc, nullptr);
        EXPECT_FALSE(nothing.valid());
    }
    EXPECT_EQ(before, GetCurrentObject(dc, OBJ_FONT));
}

// A plain window for the DC and paint scopes.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 10, 10, 100, 50, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override { DestroyWindow(window); }
    HWND window = nullptr;
};

TEST_F(WindowTest, WindowDCIsReleasedOnceAndOnlyByItsOwner) {
    win32::WindowDC dc(window);
    ASSERT_TRUE(dc.valid());
    EXPECT_EQ(static_cast<DWORD>(OBJ_DC), GetObjectType(dc.get()));
    win32::WindowDC moved(std::move(dc));
    EXPECT_FALSE(dc.valid());
    // Released from the owner: the DC is still ours to release.
    HDC raw = moved.release();
    EXPECT_FALSE(moved.valid());
    EXPECT_EQ(1, ReleaseDC(window, raw));
}

TEST_F(WindowTest, WindowOwnerDestroysItsWindowUnlessReleased) {
    HWND child;
    {
        win32::Window owned(CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, window, nullptr,
                                            GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(owned.valid());
        child = owned.get();
    }
    EXPECT_FALSE(IsWindow(child));
    {
        win32::Window owned(CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, window, nullptr,
                                            GetModuleHandleA(nullptr), nullptr));
        child = owned.release();
    }
    EXPECT_TRUE(IsWindow(child));
}

TEST_F(WindowTest, PaintScopeValidatesTheWindow) {
    InvalidateRect(window, nullptr, FALSE);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    {
        win32::PaintScope paint(window);
        ASSERT_TRUE(paint.valid());
        EXPECT_NE(nullptr, paint.get());
        EXPECT_EQ(paint.get(), paint.paint().hdc);
    }
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
}

TEST_F(Ownership, CurrentDirectoryIsPutBack) {
    std::string home = testenv::currentDir();
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\elsewhere").c_str(), nullptr));
    {
        win32::CurrentDirectoryKeeper keeper;
        ASSERT_TRUE(keeper.valid());
        EXPECT_EQ(dir, keeper.path());
        ASSERT_TRUE(SetCurrentDirectoryA((dir + "\\elsewhere").c_str()));
        keeper.restore();  // back now, and again on the way out
        EXPECT_EQ(dir, testenv::currentDir());
        ASSERT_TRUE(SetCurrentDirectoryA((dir + "\\elsewhere").c_str()));
    }
    EXPECT_EQ(dir, testenv::currentDir());
    {
        win32::CurrentDirectoryKeeper keeper;
        ASSERT_TRUE(SetCurrentDirectoryA((dir + "\\elsewhere").c_str()));
        keeper.release();  // the move is meant to last
    }
    EXPECT_EQ(dir + "\\elsewhere", testenv::currentDir());
    SetCurrentDirectoryA(home.c_str());
}

// COM is run on a thread of its own, so the test's thread keeps its state.
template <class Body>
void onNewThread(Body body) {
    struct Call {
        static DWORD WINAPI run(void* param) {
            (*static_cast<Body*>(param))();
            return 0;
        }
    };
    win32::KernelHandle thread(CreateThread(nullptr, 0, Call::run, &body, 0, nullptr));
    ASSERT_TRUE(thread.valid());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 30000));
}

TEST(ComApartment, EndsOnlyWhatItStarted) {
    HRESULT afterScope = E_FAIL;
    bool joined = false;
    onNewThread([&] {
        {
            win32::ComApartment com;
            joined = com.valid();
        }
        // Uninitialised again: a new initialisation is the first one.
        afterScope = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(afterScope))
            CoUninitialize();
    });
    EXPECT_TRUE(joined);
    EXPECT_EQ(S_OK, afterScope);

    // A thread in the multithreaded apartment refuses the guard's
    // single-threaded one; the guard must not end the thread's apartment.
    HRESULT stillInitialised = E_FAIL;
    joined = true;
    onNewThread([&] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        {
            win32::ComApartment com;
            joined = com.valid();
        }
        stillInitialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(stillInitialised))
            CoUninitialize();
        CoUninitialize();
    });
    EXPECT_FALSE(joined);
    EXPECT_EQ(S_FALSE, stillInitialised);
}

TEST(ComPtr, ReleasesItsReferenceOnce) {
    onNewThread([] {
        win32::ComApartment com;
        ASSERT_TRUE(com.valid());
        IShellLinkA* raw = nullptr;
        {
            win32::ComPtr<IShellLinkA> link;
            ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IShellLinkA, link.outVoid())));
            raw = link.get();
            raw->AddRef();  // the test's own reference keeps the object alive
            win32::ComPtr<IShellLinkA> moved(std::move(link));
            EXPECT_FALSE(link.valid());
            EXPECT_TRUE(SUCCEEDED(moved->SetDescription("kept")));
        }
        // Only the test's reference is left.
        EXPECT_EQ(0u, raw->Release());
    });
}

TEST(TaskMemory, ItemListFromTheShell) {
    onNewThread([] {
        win32::ComApartment com;
        win32::ItemList list;
        ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, list.out())));
        EXPECT_TRUE(list.valid());
        // out() gives the old list back to the allocator before the call fills it again.
        ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, list.out())));
        char path[PathSize];
        EXPECT_TRUE(SHGetPathFromIDListA(list.get(), path));
        win32::TaskMemory<char> text(static_cast<char*>(CoTaskMemAlloc(16)));
        EXPECT_TRUE(text.valid());
        char* raw = text.release();
        EXPECT_FALSE(text.valid());
        CoTaskMemFree(raw);
    });
}

}  // namespace
