// The installation run through Setup::Process under Wine: a multi-volume
// archive installed with the progress dialog and "Setup is complete.", the
// cancel question answered No (the run resumes and completes) and Yes (the
// worker stops at the file it was held at, nothing half written, the
// background window closes), the background window closed mid-run, the
// reboot offer after a run that needs one, and
// notification kinds outside 0 to 3 ignored.
#include "Setup.h"

#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "UiAuto.h"
#include "resource.h"

namespace {

char g_title[] = "Process Test Setup";
char g_product[] = "Test Product";
char g_exe[] = "Product.exe";

const char kExitText[] =
    "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?";
const long kQuestion = MB_YESNO | MB_ICONQUESTION;

// A manual-reset event, closed when it goes.
struct Event {
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~Event() { CloseHandle(handle); }
};

struct Source {
    std::string name;
    std::vector<unsigned char> bytes;
};

// Waits, bounded, until `done` holds; whether it does.
bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        if (done())
            return true;
        Sleep(10);
    }
    return done();
}

// A product: counts its closing operations and sees every notification
// before the library does; `onFile` runs at each notification 0 (on the
// worker), with the file's number from 1. Without `callsBase` it never
// calls the library's TakeProcessInfo and answers 2 to everything. It
// answers 0 (fail) to the notification of file `failAt`.
class Product : public Setup {
public:
    Product() : Setup(GetModuleHandleA(nullptr), g_title, g_product, g_exe) {}
    int TakeProcessInfo(int kind, void* data) override {
        if (kind == InfoBeforeFile) {
            ++files;
            if (onFile)
                onFile(files);
            if (files == failAt)
                return answers.push_back(NoticeFail), NoticeFail;
        }
        if (!callsBase)
            return answers.push_back(StepContinue), StepContinue;
        if (kind == InfoOverallPercent && !checkedIgnored) {
            checkedIgnored = true;
            checkIgnoredKinds();
        }
        int answer = Setup::TakeProcessInfo(kind, data);
        // The dialog shows the last total on its own time: the worker does
        // not wait for it, this product does.
        if (kind == InfoOverallPercent && *static_cast<unsigned int*>(data) == 100)
            waitFor([&] { return totalBarNow() == 100; });
        if (kind == InfoOverallPercent)
            totalBar = totalBarNow();
        answers.push_back(answer);
        return answer;
    }
    int totalBarNow() {
        return static_cast<int>(SendDlgItemMessageA(progressDialog, IDC_TOTAL_BAR, PBM_GETPOS, 0, 0));
    }
    int ProcessError() override { return ++errors, 1; }
    int ProcessOK() override { return ++oks, 1; }
    int ProcessUserBreak() override { return ++breaks, 1; }
    int ProcessNeedReboot() override { return ++reboots, 1; }

    // Kinds outside 0 to 3 change nothing and answer 2, whatever `data` is.
    void checkIgnoredKinds() {
        char before[300] = {}, after[300] = {};
        // The worker is here: what it published is shown within a few ticks.
        waitFor([&] { return GetDlgItemTextA(progressDialog, IDC_TARGET_TEXT, before, sizeof before) > 0; });
        Sleep(200);
        GetDlgItemTextA(progressDialog, IDC_TARGET_TEXT, before, sizeof before);
        LRESULT current = SendDlgItemMessageA(progressDialog, IDC_CURRENT_BAR, PBM_GETPOS, 0, 0);
        LRESULT total = SendDlgItemMessageA(progressDialog, IDC_TOTAL_BAR, PBM_GETPOS, 0, 0);
        int value = 77;
        for (int kind : {4, 5, -1, 1000})
            ignoredAnswers.push_back(Setup::TakeProcessInfo(kind, kind == 4 ? &value : nullptr));
        GetDlgItemTextA(progressDialog, IDC_TARGET_TEXT, after, sizeof after);
        ignoredUnchanged = std::string(before) == after && !std::string(before).empty() &&
                           current == SendDlgItemMessageA(progressDialog, IDC_CURRENT_BAR, PBM_GETPOS, 0, 0) &&
                           total == SendDlgItemMessageA(progressDialog, IDC_TOTAL_BAR, PBM_GETPOS, 0, 0);
    }

    std::function<void(int)> onFile;
    bool callsBase = true;
    int failAt = 0;
    int files = 0;
    int errors = 0, oks = 0, breaks = 0, reboots = 0;
    int totalBar = -1;
    bool checkedIgnored = false;
    bool ignoredUnchanged = false;
    std::vector<int> ignoredAnswers;
    std::vector<int> answers;
};

class SetupProcess : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        app = dir + "\\App";
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        kit::Manifest manifest;
        for (int i = 0; i < kFiles; ++i) {
            Source s;
            s.name = "file" + std::to_string(i) + ".bin";
            s.bytes = kit::content(static_cast<uint32_t>(i + 11), 3000 + (i * 2311) % 14000);
            ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + s.name, s.bytes));
            manifest.file("src\\" + s.name, "install", "", 1);
            sources.push_back(s);
        }
        ASSERT_TRUE(kit::pack(manifest, dir, volumes, "--volume-size 60000"));
        ASSERT_TRUE(testenv::fileExists(volumes + "\\Data3.Dat")) << "want several volumes";
        installDir.assign(app.begin(), app.end());
        installDir.resize(PathSize, '\0');
    }

    // Runs Process as a product would, from the volumes' directory.
    void run(Product& product) {
        ASSERT_EQ(1, product.MainWindowExist());
        ASSERT_EQ(1, product.MakeGroupList(1));
        product.SetInstallDirectory(installDir.data());
        kit::CurrentDir cd(volumes);
        EXPECT_EQ(0, product.Process());
    }

    // Installs into `name` below the test's folder from now on.
    void useApp(const std::string& name) {
        app = dir + name;
        installDir.assign(app.begin(), app.end());
        installDir.resize(PathSize, '\0');
    }

    // Files 0 .. count-1 installed byte for byte, the others absent.
    void expectInstalled(int count) {
        for (int i = 0; i < kFiles; ++i) {
            std::string path = app + "\\" + sources[i].name;
            if (i < count)
                EXPECT_TRUE(testenv::readFile(path) == sources[i].bytes) << path;
            else
                EXPECT_FALSE(testenv::fileExists(path)) << path;
        }
    }

    static constexpr int kFiles = 24;
    std::string dir, volumes, app;
    std::vector<Source> sources;
    std::vector<char> installDir;
};

TEST_F(SetupProcess, FullInstallEndsWithSetupIsComplete) {
    Product product;
    ui::Script ui;
    ui.messageBox(ui::AnyOwner, g_title, "Setup is complete.", IDOK, MB_ICONINFORMATION);
    run(product);
    EXPECT_TRUE(ui.finish());

    EXPECT_EQ(1, product.oks);
    EXPECT_EQ(0, product.errors + product.breaks + product.reboots);
    EXPECT_EQ(0, product.rebootNeeded);
    EXPECT_EQ(int(kFiles), product.files);
    EXPECT_EQ(100, product.totalBar);
    for (int answer : product.answers)
        EXPECT_EQ(2, answer);
    expectInstalled(kFiles);
    // The windows are hidden; the dialog is gone, its worker ended after the engine ran.
    EXPECT_FALSE(IsWindowVisible(product.backgroundWindow));
    EXPECT_FALSE(IsWindow(product.GetProgressHWND()));
    DWORD exitCode = STILL_ACTIVE;
    ASSERT_TRUE(GetExitCodeThread(product.workerThread, &exitCode));
    EXPECT_EQ(1u, exitCode);
    // Kinds outside 0 to 3 during the run.
    EXPECT_TRUE(product.ignoredUnchanged);
    EXPECT_EQ(std::vector<int>({2, 2, 2, 2}), product.ignoredAnswers);
}

// Cancel pressed while file `at` is announced; the question is answered
// `button`. The worker waits until the question is on screen, so it is held
// at that notification whatever the machine's speed. `meanwhile` runs while
// the question is open, before the answer.
void cancelAt(Product& product, ui::Script& ui, int at, int button, HANDLE shown,
              std::function<void()> meanwhile = nullptr) {
    ui.window("the cancel question", [](const ui::WindowInfo& w) {
        return w.text == kExitText && w.style == kQuestion;
    }, [shown, button, meanwhile](HWND box) {
        SetEvent(shown);
        if (meanwhile)
            meanwhile();
        ui::press(box, button);
    });
    product.onFile = [&product, at, shown](int file) {
        if (file == at) {
            PostMessageA(product.progressDialog, WM_COMMAND, IDCANCEL, 0);
            WaitForSingleObject(shown, 15000);
        }
    };
}

// The exit button pressed while the Cancel question is open asks nothing:
// one question at a time (a second one would be a window the script did not
// expect).
TEST_F(SetupProcess, CancelAnsweredNoResumesAndCompletes) {
    Product product;
    product.ShowBGWindow(SW_SHOW);
    ASSERT_EQ(1, product.CreateExitButton());
    HWND exitButton = product.exitButtonDialog;
    Event shown;
    ui::Script ui;
    cancelAt(product, ui, 5, IDNO, shown.handle, [exitButton] {
        ui::press(exitButton, IDCANCEL);
        Sleep(300);
    });
    ui.messageBox(ui::AnyOwner, g_title, "Setup is complete.", IDOK, MB_ICONINFORMATION);
    run(product);
    EXPECT_TRUE(ui.finish());

    EXPECT_EQ(1, product.oks);
    EXPECT_EQ(0, product.errors + product.breaks);
    for (int answer : product.answers)
        EXPECT_EQ(2, answer);
    expectInstalled(kFiles);
    testenv::pumpMessages();
    EXPECT_EQ(1, product.MainWindowExist());
}

// The stop does not depend on the product: one that calls the library's
// TakeProcessInfo and one that never does (answering 2 to everything) both
// stop at the held file.
TEST_F(SetupProcess, CancelAnsweredYesStopsAtTheHeldFile) {
    for (bool callsBase : {true, false}) {
        SCOPED_TRACE(callsBase ? "calls the base" : "never calls the base");
        useApp(callsBase ? "\\AppBase" : "\\AppOwn");
        Product product;
        product.callsBase = callsBase;
        Event shown;
        ui::Script ui;
        cancelAt(product, ui, 5, IDYES, shown.handle);
        DWORD answered = 0;
        product.onFile = [inner = product.onFile, &answered](int file) {
            inner(file);
            answered = GetTickCount();
        };
        run(product);
        DWORD returned = GetTickCount();
        EXPECT_TRUE(ui.finish());

        // A confirmed Cancel ends the dialog with 0: ProcessError, once,
        // and Process returns at once, not after the remaining files.
        EXPECT_EQ(1, product.errors);
        EXPECT_EQ(0, product.oks + product.breaks + product.reboots);
        EXPECT_LT(returned - answered, 2000u);
        // The fifth file was announced and held: the four before it are
        // complete, nothing of it or after it exists.
        EXPECT_EQ(5, product.files);
        expectInstalled(4);
        DWORD exitCode = STILL_ACTIVE;
        ASSERT_TRUE(GetExitCodeThread(product.workerThread, &exitCode));
        EXPECT_EQ(0u, exitCode);
        // The background window closes once its posted command is served.
        testenv::pumpMessages();
        EXPECT_EQ(0, product.MainWindowExist());
    }
}

// The run ends (a product's answer fails it) while the Cancel question is
// open: the dialog waits for the answer, and No then ends it with the run's
// result.
TEST_F(SetupProcess, RunEndingWhileCancelIsAskedEndsAfterNo) {
    Product product;
    product.failAt = 3;
    product.onFile = [&product](int file) {
        if (file == 3)
            PostMessageA(product.progressDialog, WM_COMMAND, IDCANCEL, 0);
    };
    ui::Script ui;
    ui.messageBox(ui::AnyOwner, g_title, kExitText, IDNO, kQuestion);
    run(product);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(1, product.errors);
    EXPECT_EQ(0, product.oks + product.breaks + product.reboots);
    expectInstalled(2);
}

// F3 pressed while a message box of the worker has the keyboard (here the
// wrong-groups question, before any file) reaches the background window,
// which asks; No, then OK to the worker's question, and the run completes.
TEST_F(SetupProcess, F3FromAWorkerMessageBoxAsksToExit) {
    Product product;
    product.callsBase = false;
    product.ShowBGWindow(SW_SHOW);
    ASSERT_EQ(1, product.MakeGroupList(3));  // the archive has one group
    HWND workerBox = nullptr;
    ui::Script ui;
    ui.window("the wrong-groups question", [](const ui::WindowInfo& w) {
        return w.text == "Wrong groups number.\nDo you want to continue ?";
    }, [&workerBox](HWND box) {
        workerBox = box;
        SetForegroundWindow(box);
        for (DWORD flags : {0ul, static_cast<unsigned long>(KEYEVENTF_KEYUP)}) {
            INPUT in = {};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = VK_F3;
            in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(VK_F3, 0));
            in.ki.dwFlags = flags;
            SendInput(1, &in, sizeof in);
        }
    });
    ui.window("the exit question", [](const ui::WindowInfo& w) {
        return w.text == kExitText && w.style == kQuestion;
    }, [&workerBox](HWND box) {
        ui::press(box, IDNO);
        ui::press(workerBox, IDOK);
    });
    ui.messageBox(ui::AnyOwner, g_title, "Setup is complete.", IDOK, MB_ICONINFORMATION);
    run(product);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(1, product.oks);
    expectInstalled(kFiles);
}

int g_exitWindowsCalls = 0;
UINT g_exitWindowsFlags = 0;
BOOL WINAPI recordExitWindows(UINT flags, DWORD) {
    ++g_exitWindowsCalls;
    g_exitWindowsFlags = flags;
    return TRUE;
}

// A target held open ends the run with 3: rebootNeeded is set, and the
// reboot question's OK requests the reboot (recorded here, not made) while
// Cancel does not; the windows are hidden either way.
TEST_F(SetupProcess, RunNeedingARebootOffersIt) {
    const char rebootText[] =
        "Setup needs to reboot your computer in order to complete the installation process. Do you wish to reboot now ?";
    HMODULE library = GetModuleHandleA("Setup.Dll");
    const void* real = ui::replaceImport(library, "user32.dll", "ExitWindowsEx",
                                         reinterpret_cast<const void*>(&recordExitWindows));
    ASSERT_NE(nullptr, real);
    std::string renameFile = kit::windowsDir() + "\\QrvInit.Ini";
    for (int button : {IDCANCEL, IDOK}) {
        g_exitWindowsCalls = 0;
        useApp(button == IDOK ? "\\AppOk" : "\\AppCancel");
        CreateDirectoryA(app.c_str(), nullptr);
        std::string held = app + "\\" + sources[2].name;
        ASSERT_TRUE(testenv::writeFile(held, std::string("old")));
        HANDLE hold = CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hold);
        {
            Product product;
            product.ShowBGWindow(SW_SHOW);
            ui::Script ui;
            ui.messageBox(ui::AnyOwner, g_title, rebootText, button, MB_OKCANCEL | MB_ICONQUESTION);
            run(product);
            EXPECT_TRUE(ui.finish());
            EXPECT_EQ(1, product.rebootNeeded);
            EXPECT_EQ(1, product.reboots);
            EXPECT_EQ(0, product.oks + product.errors + product.breaks);
            EXPECT_FALSE(IsWindowVisible(product.backgroundWindow));
            EXPECT_EQ(button == IDOK ? 1 : 0, g_exitWindowsCalls);
            if (button == IDOK) {
                EXPECT_EQ(static_cast<UINT>(EWX_REBOOT), g_exitWindowsFlags);
            }
            // The background window would offer the reboot again when it
            // closes; the product here goes without closing it.
            product.rebootNeeded = 0;
        }
        CloseHandle(hold);
        DeleteFileA(renameFile.c_str());
    }
    ui::replaceImport(library, "user32.dll", "ExitWindowsEx", real);
}

TEST_F(SetupProcess, BackgroundClosedMidRunStopsTheWorkerBeforeProcessReturns) {
    Product product;
    // The user ends the installation (as F3 or the exit button confirmed do)
    // while file 5 is announced: the background window goes, and with it
    // the progress dialog.
    product.onFile = [&product](int file) {
        if (file == 5)
            SendMessageA(product.backgroundWindow, WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
    };
    run(product);
    testenv::pumpMessages();

    // Process returned only once its worker had ended, stopped at file 5.
    DWORD exitCode = STILL_ACTIVE;
    ASSERT_TRUE(GetExitCodeThread(product.workerThread, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(5, product.files);
    expectInstalled(4);
    EXPECT_EQ(0, product.MainWindowExist());
    EXPECT_EQ(0, product.oks + product.breaks + product.reboots);
}

// A write that fails is shown once and ends the run; the run then closes the
// background window. The second file's record is pointed at a device that
// takes no byte (Wine maps the host's /dev/full to Z:\dev\full).
TEST_F(SetupProcess, FailedWriteEndsTheRunAndClosesTheBackground) {
    kit::Manifest manifest;
    for (int i = 0; i < 3; ++i)
        manifest.file("src\\" + sources[i].name, "install", "", 1);
    volumes = dir + "\\full";
    ASSERT_TRUE(kit::pack(manifest, dir, volumes));
    std::vector<unsigned char> volume = testenv::readFile(volumes + "\\Data1.Dat");
    uint32_t firstChunk;
    memcpy(&firstChunk, &volume[24 + 12], 4);
    ASSERT_LT(24 + 564 + firstChunk + 564, volume.size());
    auto* second = reinterpret_cast<tagCompressFileHeader*>(&volume[24 + 564 + firstChunk]);
    second->targetDir = TargetNone;
    memset(second->subDir, 0, sizeof second->subDir);
    strcpy(second->subDir, "Z:\\dev");
    memset(second->fileName, 0, sizeof second->fileName);
    strcpy(second->fileName, "full");
    ASSERT_TRUE(testenv::writeFile(volumes + "\\Data1.Dat", volume));
    ASSERT_TRUE(DeleteFileA((volumes + "\\Data.Chk").c_str()));  // it would refuse the record

    Product product;
    ui::Script ui;
    ui.messageBox(ui::AnyOwner, g_title, "Error writing destination file.\nInstallation aborted.", IDOK,
                  MB_ICONSTOP);
    run(product);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(1, product.errors);
    EXPECT_EQ(0, product.oks + product.breaks + product.reboots);
    expectInstalled(1);
    testenv::pumpMessages();
    EXPECT_EQ(0, product.MainWindowExist());
}

}  // namespace

// The exit button stays over the background while the progress dialog is
// up (Wine raises the owner over its other owned windows when one appears).
TEST_F(SetupProcess, ExitButtonStaysOverTheBackgroundDuringTheRun) {
    Product product;
    product.ShowBGWindow(SW_SHOW);
    ASSERT_EQ(1, product.CreateExitButton());
    HWND button = product.exitButtonDialog, background = product.backgroundWindow;
    bool sawDialog = false, above = false;
    product.onFile = [&](int file) {
        if (file != kFiles / 2)
            return;
        // The dialog appears and the stacking settles when the dialog's
        // thread gets to them, later under load: wait for both, bounded.
        for (int i = 0; i < 250 && !(sawDialog && above); ++i) {
            if (i)
                Sleep(20);
            sawDialog = IsWindowVisible(product.progressDialog) != FALSE;
            above = false;
            for (HWND w = GetWindow(button, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
                if (w == background)
                    above = true;
        }
    };
    ui::Script ui;
    ui.messageBox(ui::AnyOwner, g_title, "Setup is complete.", IDOK, MB_ICONINFORMATION);
    run(product);
    EXPECT_TRUE(ui.finish());
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(above);
}
