// Registry values under install transactions, over an earlier registered
// version: a Setup run that ends early (damaged data, Cancel answered Yes,
// the product's break) after the product wrote through the library's
// registry operations leaves every key they write byte for byte as before,
// and the progress dialog shows the undo; a registration that fails in
// ProcessOK undoes the whole run; one killed during the registration is
// undone with its files, and those the product journalled itself
// (JournalCreation), by the next start, which says so (GetRecoveryLine).
#include "Setup.h"

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "UiAuto.h"
#include "resource.h"

namespace {

char g_title[] = "Registration Test Setup";
char g_exe[] = "Tool.exe";
const char kCorrupt[] = "Installation disk might be corrupted.\nInstallation aborted.";
const char kExitText[] =
    "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?";
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
char g_userKey[] = "HKEY_CURRENT_USER\\Software\\Txn Test\\Made\\Deep";
char g_countKey[] = "HKEY_CURRENT_USER\\Software\\Txn Test";
char g_count[] = "Count";

// Every key and value below `key` of the keys a registration of `group`
// writes (and the product's own), by name: "(key)", or type and bytes.
using Registry = std::map<std::string, std::string>;
void readTree(HKEY root, const std::string& key, Registry& out) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return;
    out[key] = "(key)";
    char name[512];
    std::vector<BYTE> data(65536);
    DWORD length = sizeof name, size = 65536, type = 0;
    for (DWORD i = 0; RegEnumValueA(k, i, name, &length, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
         ++i, length = sizeof name, size = 65536)
        out[key + "|" + name] = std::to_string(type) + ":" + std::string(data.begin(), data.begin() + size);
    std::vector<std::string> subkeys;
    for (length = sizeof name; RegEnumKeyExA(k, static_cast<DWORD>(subkeys.size()), name, &length, nullptr, nullptr,
                                             nullptr, nullptr) == ERROR_SUCCESS;
         length = sizeof name)
        subkeys.push_back(name);
    RegCloseKey(k);
    for (const std::string& sub : subkeys)
        readTree(root, key + "\\" + sub, out);
}
const std::vector<std::pair<HKEY, std::string>> keysOf(const std::string& group) {
    return {{HKEY_CLASSES_ROOT, "QRV_Files\\Shell\\" + group},
            {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tool.exe"},
            {HKEY_LOCAL_MACHINE, kUninstall + group},
            {HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvelon\\" + group},
            {HKEY_CURRENT_USER, "Software\\Txn Test"}};
}
Registry registration(const std::string& group) {
    Registry all;
    for (const auto& key : keysOf(group))
        readTree(key.first, key.second, all);
    return all;
}

// What the progress dialog was told after its undo line: the Total bar's positions.
bool g_undoShown = false;
std::vector<int> g_totalsWhileUndoing;
int g_lastTotal = -1;  // the bar's last position (a fast run may never have moved it)
LRESULT CALLBACK watchDialog(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    int id = GetDlgCtrlID(m->hwnd);
    if (m->message == WM_SETTEXT && id == IDC_SOURCE_TEXT)
        g_undoShown = std::string(reinterpret_cast<const char*>(m->lParam)) == "Undoing the changes made so far...";
    if (m->message == PBM_SETPOS && id == IDC_TOTAL_BAR && g_undoShown)
        g_totalsWhileUndoing.push_back(static_cast<int>(m->wParam));
    if (m->message == PBM_SETPOS && id == IDC_TOTAL_BAR)
        g_lastTotal = static_cast<int>(m->wParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A product that writes through the library at its second file (over the
// earlier registration) and registers in ProcessOK.
class Product : public Setup {
public:
    explicit Product(char* name) : Setup(GetModuleHandleA(nullptr), g_title, name, g_exe) {}
    int TakeProcessInfo(int kind, void* data) override {
        if (kind == InfoBeforeFile && ++files == 2) {
            DWORD count = 8;
            wrote = RegisterApplication() + CreateUserKey(g_userKey, 1) +
                    UserValueToRegistry(g_countKey, g_count, &count, REG_DWORD, sizeof count);
        }
        if (kind == InfoBeforeFile && files == cancelAt)
            PostMessageA(progressDialog, WM_COMMAND, IDCANCEL, 0), Sleep(300);
        int answer = Setup::TakeProcessInfo(kind, data);
        return kind == InfoOverallPercent && files == breakAt ? StepUserBreak : answer;
    }
    int ProcessOK() override {
        // Of its own in `own`: a file in two new folders, over a file that is there.
        const std::string file = own + "\\Links\\a.lnk", over = own + "\\old.txt";
        if (!own.empty() && JournalCreation(this, file.c_str(), 0) && JournalCreation(this, over.c_str(), 0)) {
            SHCreateDirectoryExA(nullptr, (own + "\\Links").c_str(), nullptr);
            testenv::writeFile(file, over);
            testenv::writeFile(over, file);
        }
        registered = RegisterApplication();
        if (GetEnvironmentVariableA("REGISTRATION_TEST_DIR", nullptr, 0))
            TerminateProcess(GetCurrentProcess(), 9);  // killed with the registration written
        return 1;
    }
    int files = 0, cancelAt = 0, breakAt = 0, wrote = 0, registered = -1;
    std::string own;
};

class EngineRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        char shared[MAX_PATH] = "";
        dir = GetEnvironmentVariableA("REGISTRATION_TEST_DIR", shared, sizeof shared) ? shared
                                                                                        : testenv::scratchDir();
        volumes = dir + "\\vol";
        app = dir + "\\App";
        installDir.assign(app.begin(), app.end());
        installDir.resize(PathSize, '\0');
        if (testenv::fileExists(volumes + "\\Data1.Dat"))
            return;  // the killed child's, packed by its parent
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        kit::Manifest manifest;
        for (int i = 0; i < 6; ++i) {
            ASSERT_TRUE(testenv::writeFile(dir + "\\src\\f" + std::to_string(i), kit::content(i + 3, 20000)));
            manifest.file("src\\f" + std::to_string(i), "install", i % 2 ? "sub" : "", 1);
        }
        ASSERT_TRUE(kit::pack(manifest, dir, volumes));
    }
    void TearDown() override {
        SetInstallTransactions(0);
        for (const char* group : {"Txn Test", "Txn Fail"}) {
            for (const auto& key : keysOf(group)) {
                Registry tree;
                readTree(key.first, key.second, tree);
                for (auto k = tree.rbegin(); k != tree.rend(); ++k)
                    RegDeleteKeyA(key.first, k->first.c_str());  // values' names are no keys
            }
        }
    }
    // The earlier version's registration (into another folder), without transactions.
    Registry registerEarlier(char* name, const std::string& group) {
        std::vector<char> earlier(PathSize, '\0');
        strcpy(earlier.data(), "C:\\Earlier");
        Product product(name);
        product.SetInstallDirectory(earlier.data());
        product.RegisterApplication();
        DWORD count = 7;
        product.UserValueToRegistry(g_countKey, g_count, &count, REG_DWORD, sizeof count);
        return registration(group);
    }
    void run(Product& product) {
        SetInstallTransactions(1);
        product.MakeGroupList(1);
        product.SetInstallDirectory(installDir.data());
        kit::CurrentDir cd(volumes);
        g_undoShown = false;
        g_totalsWhileUndoing.clear();
        g_lastTotal = -1;
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, watchDialog, nullptr, GetCurrentThreadId());
        product.Process();
        UnhookWindowsHookEx(hook);
    }
    std::string dir, volumes, app;
    std::vector<char> installDir;
};

char g_name[] = "Txn Test\\Prod";

TEST_F(EngineRegistration, RunEndingEarlyLeavesTheRegistryAsItWas) {
    Registry before = registerEarlier(g_name, "Txn Test");
    ASSERT_EQ(1u, before.count(kUninstall + "Txn Test\\Prod|UninstallString"));
    std::vector<unsigned char> volume = testenv::readFile(volumes + "\\Data1.Dat");
    size_t fourth = 24;  // the fourth file's data: after three records and their chunks
    for (int i = 0; i < 3; ++i)
        fourth += 564 + (volume[fourth + 12] | volume[fourth + 13] << 8 | volume[fourth + 14] << 16);
    struct Case {
        const char* what;
        int damaged, cancelAt, breakAt;
    } cases[] = {{"damaged data", 4, 0, 0}, {"Cancel answered Yes", 0, 4, 0}, {"the product's break", 0, 0, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> bytes = volume;
        if (c.damaged)  // caught by the check file
            bytes[fourth + 564 + 40] ^= 0x5a;
        ASSERT_TRUE(testenv::writeFile(volumes + "\\Data1.Dat", bytes));
        Product product(g_name);
        product.cancelAt = c.cancelAt;
        product.breakAt = c.breakAt;
        ui::Script ui;
        if (c.damaged || c.cancelAt)
            ui.messageBox(ui::AnyOwner, g_title, c.damaged ? kCorrupt : kExitText, c.damaged ? IDOK : IDYES);
        run(product);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(3, product.wrote);
        EXPECT_EQ(-1, product.registered);
        EXPECT_TRUE(before == registration("Txn Test"));
        EXPECT_FALSE(testenv::dirExists(app));
        // The undo went back over the Total bar to 0 (a cancelled run's dialog is gone first).
        if (!c.cancelAt) {
            EXPECT_TRUE(g_undoShown && g_lastTotal == 0);
            EXPECT_TRUE(std::is_sorted(g_totalsWhileUndoing.rbegin(), g_totalsWhileUndoing.rend()));
        }
    }
}

// The Uninstall entry's parent is volatile: its lasting entry cannot be
// made, and the registration fails after three values.
TEST_F(EngineRegistration, RegistrationThatFailsUndoesTheRun) {
    HKEY parent;
    ASSERT_EQ(0, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kUninstall + "Txn Fail").c_str(), 0, nullptr,
                                 REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &parent, nullptr));
    RegCloseKey(parent);
    char name[] = "Txn Fail\\Prod";
    Registry before = registerEarlier(name, "Txn Fail");
    Product product(name);
    ui::Script ui;  // no "Setup is complete."
    run(product);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(0, product.registered);
    EXPECT_TRUE(before == registration("Txn Fail"));
    EXPECT_FALSE(testenv::dirExists(app));
}

TEST_F(EngineRegistration, KilledDuringRegistrationIsUndoneByTheNextStart) {
    if (GetEnvironmentVariableA("REGISTRATION_TEST_DIR", nullptr, 0)) {
        Product product(g_name);
        product.own = dir + "\\own";
        run(product);
        ADD_FAILURE() << "the run was not ended";
        return;
    }
    Registry before = registerEarlier(g_name, "Txn Test");
    const std::string own = dir + "\\own", earlier = "earlier";
    ASSERT_TRUE(CreateDirectoryA(own.c_str(), nullptr) && testenv::writeFile(own + "\\old.txt", earlier));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    SetEnvironmentVariableA("REGISTRATION_TEST_DIR", dir.c_str());
    EXPECT_EQ(9, testenv::run(std::string("\"") + self + "\" --gtest_filter=*KilledDuringRegistration*"));
    SetEnvironmentVariableA("REGISTRATION_TEST_DIR", nullptr);
    EXPECT_TRUE(testenv::fileExists(app + "\\Install.jnl"));
    EXPECT_TRUE(testenv::fileExists(own + "\\Links\\a.lnk"));
    EXPECT_FALSE(before == registration("Txn Test"));

    SetInstallTransactions(1);
    kit::Engine engine;
    engine.MakeGroupList(1);
    engine.answer = [](int kind, void*) { return kind == InfoBeforeFile ? int(NoticeBreak) : int(StepContinue); };
    EXPECT_EQ(1, kit::install(engine, volumes, app).run);
    EXPECT_TRUE(before == registration("Txn Test"));
    EXPECT_FALSE(testenv::dirExists(app));
    EXPECT_FALSE(testenv::dirExists(own + "\\Links"));
    EXPECT_EQ(std::vector<unsigned char>(earlier.begin(), earlier.end()), testenv::readFile(own + "\\old.txt"));
    char line[300];
    std::string expected = "recovered an unfinished setup in " + app + ": ";
    EXPECT_GT(GetRecoveryLine(&engine, line, sizeof line), static_cast<int>(expected.size()));
    EXPECT_EQ(expected, std::string(line).substr(0, expected.size())) << line;
}

}  // namespace
