// Registry writing, application registration and the removal of an earlier
// version, against Wine's real registry: every value written is read back
// with its type and data, keys carry the class they should, registration
// stops at the first value that fails, text key paths accept the four full
// root names only and are never changed. RunUninstall starts a stand-in
// uninstaller (fake_uninstaller.exe, which records its command line) with
// dialog 11500 on screen, serves this thread's windows while it waits
// without spinning, and gives 100, 1 or 0 for each kind of entry.
#include "Setup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "TestEnv.h"
#include "UiAuto.h"
#include "resource.h"

namespace {

char g_title[] = "Registry Test Setup";
char g_product[] = "Registry Test Product";
char g_exe[] = "Bin\\Product.exe";

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kRemovalText[] = "Uninstalling existing version of Registry Test Product.";

class Product : public Setup {
public:
    explicit Product(char* name = g_product, char* exe = g_exe)
        : Setup(GetModuleHandleA(nullptr), g_title, name, exe) {}
};

// ---------------------------------------------------------------------------
// Reading the registry back.

struct Value {
    bool found = false;
    DWORD type = 0;
    std::string data;  // as stored: a text with its terminator
};

Value readValue(HKEY root, const std::string& key, const char* name) {
    Value v;
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return v;
    DWORD size = 0;
    if (RegQueryValueExA(k, name, nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.data.assign(size, '\0');
        v.found = RegQueryValueExA(k, name, nullptr, &v.type, reinterpret_cast<BYTE*>(&v.data[0]), &size) ==
                  ERROR_SUCCESS;
        v.data.resize(size);
    }
    RegCloseKey(k);
    return v;
}

// A text value as the registry holds it.
std::string stored(const std::string& text) { return text + std::string(1, '\0'); }

::testing::AssertionResult isText(const Value& v, const std::string& text) {
    if (!v.found)
        return ::testing::AssertionFailure() << "no value, expected \"" << text << "\"";
    if (v.type != REG_SZ)
        return ::testing::AssertionFailure() << "type " << v.type << " for \"" << text << "\"";
    if (v.data != stored(text))
        return ::testing::AssertionFailure() << "\"" << v.data << "\" (" << v.data.size()
                                             << " bytes), expected \"" << text << "\"";
    return ::testing::AssertionSuccess();
}

bool keyExists(HKEY root, const std::string& key) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

// The class text a key was created with ("" for none, "?" when absent).
std::string keyClass(HKEY root, const std::string& key) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return "?";
    char text[256] = "";
    DWORD size = sizeof text;
    LONG r = RegQueryInfoKeyA(k, text, &size, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
    RegCloseKey(k);
    return r == ERROR_SUCCESS ? std::string(text, size) : "?";
}

void deleteTree(HKEY root, const std::string& key) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS)
        return;
    char name[512];
    while (RegEnumKeyA(k, 0, name, sizeof name) == ERROR_SUCCESS)
        deleteTree(k, name);
    RegCloseKey(k);
    RegDeleteKeyA(root, key.c_str());
}

HKEY hkey(int value) { return reinterpret_cast<HKEY>(static_cast<INT_PTR>(value)); }

// ---------------------------------------------------------------------------
// WriteToRegistry, SetRegClassName, Register.

const char kTestKey[] = "Software\\RegistryTest";

class SetupRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        deleteTree(HKEY_CURRENT_USER, kTestKey);
        deleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\RegistryTest");
        deleteTree(HKEY_USERS, ".DEFAULT\\Software\\RegistryTest");
        deleteTree(HKEY_CLASSES_ROOT, "RegistryTestClass");
    }
    void TearDown() override { SetUp(); }
};

TEST_F(SetupRegistry, WriteToRegistryWritesEachTypeAndCreatesTheKey) {
    Product setup;
    std::string key = std::string(kTestKey) + "\\Write\\Deeper";
    char text[] = "hello world";
    EXPECT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &key[0], const_cast<char*>("Text"), REG_SZ,
                                       reinterpret_cast<unsigned char*>(text), sizeof text));
    EXPECT_TRUE(isText(readValue(HKEY_CURRENT_USER, key, "Text"), "hello world"));

    DWORD number = 0x12345678;
    EXPECT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &key[0], const_cast<char*>("Number"), REG_DWORD,
                                       reinterpret_cast<unsigned char*>(&number), sizeof number));
    Value n = readValue(HKEY_CURRENT_USER, key, "Number");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), n.type);
    EXPECT_EQ(std::string("\x78\x56\x34\x12", 4), n.data);

    // Bytes with zeros, exactly as many as asked: the size is never recomputed.
    unsigned char bytes[] = {1, 0, 2, 0, 3, 9, 9};
    EXPECT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &key[0], const_cast<char*>("Bytes"), REG_BINARY,
                                       bytes, 5));
    Value b = readValue(HKEY_CURRENT_USER, key, "Bytes");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), b.type);
    EXPECT_EQ(std::string("\x01\x00\x02\x00\x03", 5), b.data);

    // A null value name is the key's default value; writing again replaces.
    char first[] = "first", second[] = "second";
    EXPECT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &key[0], nullptr, REG_SZ,
                                       reinterpret_cast<unsigned char*>(first), sizeof first));
    EXPECT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &key[0], nullptr, REG_SZ,
                                       reinterpret_cast<unsigned char*>(second), sizeof second));
    EXPECT_TRUE(isText(readValue(HKEY_CURRENT_USER, key, nullptr), "second"));
    // The other values stayed.
    EXPECT_TRUE(isText(readValue(HKEY_CURRENT_USER, key, "Text"), "hello world"));
}

TEST_F(SetupRegistry, ClassTextGoesToKeysCreatedAfterItIsSet) {
    Product setup;
    EXPECT_EQ(nullptr, setup.registryClassName);
    std::string plain = std::string(kTestKey) + "\\Plain";
    std::string classed = std::string(kTestKey) + "\\Classed";
    char data[] = "x";
    unsigned char* bytes = reinterpret_cast<unsigned char*>(data);
    ASSERT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &plain[0], nullptr, REG_SZ, bytes, 2));
    EXPECT_EQ("", keyClass(HKEY_CURRENT_USER, plain));

    char className[] = "Test Class";
    setup.SetRegClassName(className);
    EXPECT_EQ(className, setup.registryClassName);  // the pointer, not a copy
    ASSERT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &classed[0], nullptr, REG_SZ, bytes, 2));
    EXPECT_EQ("Test Class", keyClass(HKEY_CURRENT_USER, classed));
    setup.SetRegClassName(nullptr);
    std::string after = std::string(kTestKey) + "\\After";
    ASSERT_EQ(1, setup.WriteToRegistry(HKEY_CURRENT_USER, &after[0], nullptr, REG_SZ, bytes, 2));
    EXPECT_EQ("", keyClass(HKEY_CURRENT_USER, after));
}

TEST_F(SetupRegistry, RegisterTakesTheEntrysFieldsInTheirPlaces) {
    Product setup;
    std::string key = std::string(kTestKey) + "\\Entry";
    char name[] = "Size";
    DWORD number = 77;
    // The fields written one by one at their offsets, as a product built
    // with another compiler lays the record out: four pointers, then two
    // 32-bit numbers (unsigned long is 32 bits on Win64 too): 24 bytes on
    // i686, 40 on x86_64.
    const size_t p = sizeof(void*);
    unsigned char record[4 * sizeof(void*) + 8] = {};
    HKEY root = HKEY_CURRENT_USER;
    char* subKey = &key[0];
    char* valueName = name;
    unsigned char* data = reinterpret_cast<unsigned char*>(&number);
    DWORD type = REG_DWORD, size = 4;
    memcpy(record + 0 * p, &root, p);
    memcpy(record + 1 * p, &subKey, p);
    memcpy(record + 2 * p, &valueName, p);
    memcpy(record + 3 * p, &data, p);
    memcpy(record + 4 * p, &type, 4);
    memcpy(record + 4 * p + 4, &size, 4);
    ASSERT_EQ(sizeof record, sizeof(RegistryEntry));
    EXPECT_EQ(1, setup.Register(record));
    Value v = readValue(HKEY_CURRENT_USER, key, "Size");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v.type);
    EXPECT_EQ(std::string("\x4d\0\0\0", 4), v.data);

    // A root that is no key: nothing written, 0.
    RegistryEntry bad = {hkey(0x1234), subKey, name, data, REG_DWORD, 4};
    EXPECT_EQ(0, setup.Register(&bad));
    EXPECT_EQ(0, setup.Register(nullptr));
    EXPECT_EQ(0, setup.WriteToRegistry(hkey(0x1234), subKey, name, REG_DWORD, data, 4));
}

// ---------------------------------------------------------------------------
// RegisterApplication.

const char kShellKey[] = "QRV_Files\\Shell\\Registry Test Product\\command";
const char kProductKey[] = "SOFTWARE\\Tarvelon\\Registry Test Product";
const std::string kProductUninstallKey = std::string(kUninstallKey) + "\\Registry Test Product";
const std::string kProductAppPathsKey = std::string(kAppPathsKey) + "\\Product.exe";

void forgetApplication() {
    deleteTree(HKEY_CLASSES_ROOT, "QRV_Files");
    deleteTree(HKEY_LOCAL_MACHINE, kProductAppPathsKey);
    deleteTree(HKEY_LOCAL_MACHINE, kProductUninstallKey);
    deleteTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\Stop Test");
    deleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvelon");
}

std::string windowsDir() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    return dir;
}

std::string shortPath(const std::string& path) {
    char out[MAX_PATH] = "";
    DWORD n = GetShortPathNameA(path.c_str(), out, MAX_PATH);
    return n && n < MAX_PATH ? out : "";
}

class SetupRegisterApplication : public ::testing::Test {
protected:
    void SetUp() override {
        forgetApplication();
        install = testenv::scratchDir() + "\\My Apps";
        CreateDirectoryA(install.c_str(), nullptr);
        CreateDirectoryA((install + "\\Bin").c_str(), nullptr);
        ASSERT_TRUE(testenv::writeFile(install + "\\Bin\\Product.exe", "MZ"));
        installBuffer.assign(install.begin(), install.end());
        installBuffer.resize(PathSize, '\0');
    }
    void TearDown() override { forgetApplication(); }
    std::string install;
    std::vector<char> installBuffer;
};

TEST_F(SetupRegisterApplication, SixValuesWithTheirClass) {
    Product setup;
    setup.SetInstallDirectory(installBuffer.data());
    ASSERT_EQ(1, setup.RegisterApplication());

    // 1: the shell verb starts the short form, which has no blank.
    std::string exe = install + "\\Bin\\Product.exe";
    std::string shortExe = shortPath(exe);
    ASSERT_NE("", shortExe);
    EXPECT_EQ(std::string::npos, shortExe.find(' ')) << shortExe;
    EXPECT_TRUE(isText(readValue(HKEY_CLASSES_ROOT, kShellKey, nullptr), shortExe));
    // 2, 3: App Paths of the file name, the long path and its folder.
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductAppPathsKey, nullptr), exe));
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductAppPathsKey, "Path"), install + "\\Bin"));
    // 4, 5: the Uninstall entry.
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "DisplayName"),
                       "Registry Test Product"));
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "UninstallString"),
                       "\"" + windowsDir() + "\\QRVUnins.Exe\" Registry Test Product"));
    // 6: the product key names the executable's file.
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductKey, nullptr), "Product.exe"));
    // Then what Apps & features reads: the unattended removal, removal
    // only, today's date; no links, as the product gave none.
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "QuietUninstallString"),
                       "\"" + windowsDir() + "\\QRVUnins.Exe\" /S Registry Test Product"));
    for (const char* name : {"NoModify", "NoRepair"}) {
        Value v = readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, name);
        EXPECT_TRUE(v.found && v.type == REG_DWORD && v.data == std::string("\1\0\0\0", 4)) << name;
    }
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    snprintf(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "InstallDate"), date));
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "URLInfoAbout").found);
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "HelpLink").found);

    for (auto key : {std::make_pair(HKEY_CLASSES_ROOT, std::string(kShellKey)),
                     std::make_pair(HKEY_LOCAL_MACHINE, kProductAppPathsKey),
                     std::make_pair(HKEY_LOCAL_MACHINE, kProductUninstallKey),
                     std::make_pair(HKEY_LOCAL_MACHINE, std::string(kProductKey))})
        EXPECT_EQ("Quorvane", keyClass(key.first, key.second)) << key.second;

    // The class stays set for the product's own writes.
    ASSERT_NE(nullptr, setup.registryClassName);
    EXPECT_STREQ("Quorvane", setup.registryClassName);
    std::string later = std::string(kProductKey) + "\\Later";
    char data[] = "1";
    ASSERT_EQ(1, setup.WriteToRegistry(HKEY_LOCAL_MACHINE, &later[0], nullptr, REG_SZ,
                                       reinterpret_cast<unsigned char*>(data), sizeof data));
    EXPECT_EQ("Quorvane", keyClass(HKEY_LOCAL_MACHINE, later));
    // The directory buffer is the product's and is left as it was.
    EXPECT_EQ(install, std::string(installBuffer.data()));
}

TEST_F(SetupRegisterApplication, TheProductsLinks) {
    std::string tooLong(PathSize, 'u');
    EXPECT_EQ(0, SetProductLinks("https://example.com/a", tooLong.c_str()));
    EXPECT_EQ(1, SetProductLinks("https://example.com/about", "https://example.com/help"));
    {
        Product setup;
        setup.SetInstallDirectory(installBuffer.data());
        ASSERT_EQ(1, setup.RegisterApplication());
    }
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "URLInfoAbout"), "https://example.com/about"));
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "HelpLink"), "https://example.com/help"));
    // Taken back: the next registration leaves them out.
    forgetApplication();
    EXPECT_EQ(1, SetProductLinks(nullptr, ""));
    Product setup;
    setup.SetInstallDirectory(installBuffer.data());
    ASSERT_EQ(1, setup.RegisterApplication());
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "URLInfoAbout").found);
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kProductUninstallKey, "HelpLink").found);
}

TEST_F(SetupRegisterApplication, AnExecutableNotThereKeepsItsLongPath) {
    char exe[] = "Gone.exe";
    Product setup(g_product, exe);
    setup.SetInstallDirectory(installBuffer.data());
    ASSERT_EQ(1, setup.RegisterApplication());
    EXPECT_TRUE(isText(readValue(HKEY_CLASSES_ROOT, kShellKey, nullptr), install + "\\Gone.exe"));
    std::string appPaths = std::string(kAppPathsKey) + "\\Gone.exe";
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, appPaths, "Path"), install));
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductKey, nullptr), "Gone.exe"));
    deleteTree(HKEY_LOCAL_MACHINE, appPaths);
}

TEST_F(SetupRegisterApplication, StopsAtTheFirstValueThatFails) {
    // The product name holds a backslash, so its Uninstall entry lies below
    // a key of its own: made volatile, it refuses the lasting key of entry 4.
    char name[] = "Stop Test\\Prod";
    HKEY volatileKey;
    std::string parent = std::string(kUninstallKey) + "\\Stop Test";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, parent.c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey,
                                             nullptr));
    RegCloseKey(volatileKey);
    Product setup(name);
    setup.SetInstallDirectory(installBuffer.data());
    EXPECT_EQ(0, setup.RegisterApplication());
    // 1 to 3 stay written; 4 failed; 5 and 6 were not tried.
    EXPECT_TRUE(isText(readValue(HKEY_CLASSES_ROOT, "QRV_Files\\Shell\\Stop Test\\Prod\\command", nullptr),
                       shortPath(install + "\\Bin\\Product.exe")));
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, kProductAppPathsKey, "Path"), install + "\\Bin"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, parent + "\\Prod"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvelon\\Stop Test"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvelon"));
}

TEST_F(SetupRegisterApplication, NamesTooLongWriteNothing) {
    // One Setup object at a time: each owns the background window class.
    {
        std::string longName(230, 'n');
        Product setup(&longName[0]);
        setup.SetInstallDirectory(installBuffer.data());
        EXPECT_EQ(0, setup.RegisterApplication());
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "QRV_Files"));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kProductAppPathsKey));
        // The class is set all the same: it is the first step.
        EXPECT_STREQ("Quorvane", setup.registryClassName);
    }
    // No installation directory at all.
    Product noDirectory;
    EXPECT_EQ(0, noDirectory.RegisterApplication());
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "QRV_Files"));
}

// ---------------------------------------------------------------------------
// UserValueToRegistry and CreateUserKey.

TEST_F(SetupRegistry, UserValuesUnderTextKeyPaths) {
    Product setup;
    char path[] = "HKEY_USERS\\.DEFAULT\\Software\\RegistryTest";
    char text[] = "user text";
    // Text is measured: a size of 0 (or any other) writes it with its terminator.
    EXPECT_EQ(1, setup.UserValueToRegistry(path, const_cast<char*>("Zero"), text, REG_SZ, 0));
    EXPECT_EQ(1, setup.UserValueToRegistry(path, const_cast<char*>("Two"), text, REG_SZ, 2));
    EXPECT_STREQ("HKEY_USERS\\.DEFAULT\\Software\\RegistryTest", path);
    EXPECT_TRUE(isText(readValue(HKEY_USERS, ".DEFAULT\\Software\\RegistryTest", "Zero"), "user text"));
    EXPECT_TRUE(isText(readValue(HKEY_USERS, ".DEFAULT\\Software\\RegistryTest", "Two"), "user text"));

    // Other types take their size; 0 is refused before any key is made.
    char lower[] = "hkey_current_user\\Software\\RegistryTest\\User";
    DWORD number = 5;
    EXPECT_EQ(0, setup.UserValueToRegistry(lower, const_cast<char*>("N"), &number, REG_DWORD, 0));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\RegistryTest\\User"));
    EXPECT_EQ(1, setup.UserValueToRegistry(lower, const_cast<char*>("N"), &number, REG_DWORD, 4));
    Value n = readValue(HKEY_CURRENT_USER, "Software\\RegistryTest\\User", "N");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), n.type);
    EXPECT_EQ(std::string("\x05\0\0\0", 4), n.data);
    EXPECT_STREQ("hkey_current_user\\Software\\RegistryTest\\User", lower);
    // The default value, under HKEY_LOCAL_MACHINE.
    char machine[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\RegistryTest";
    EXPECT_EQ(1, setup.UserValueToRegistry(machine, nullptr, text, REG_SZ, 0));
    EXPECT_TRUE(isText(readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\RegistryTest", nullptr), "user text"));

    // Only the four full names; nothing is made for the others.
    char abbreviated[] = "HKLM\\Software\\RegistryTest";
    EXPECT_EQ(0, setup.UserValueToRegistry(abbreviated, const_cast<char*>("X"), text, REG_SZ, 0));
    EXPECT_STREQ("HKLM\\Software\\RegistryTest", abbreviated);
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\RegistryTest", "X").found);
    char noBackslash[] = "HKEY_CURRENT_USER";
    EXPECT_EQ(0, setup.UserValueToRegistry(noBackslash, const_cast<char*>("RegistryTestValue"), text, REG_SZ, 0));
    EXPECT_FALSE(readValue(HKEY_CURRENT_USER, "", "RegistryTestValue").found);
    EXPECT_EQ(0, setup.UserValueToRegistry(path, const_cast<char*>("Null"), nullptr, REG_SZ, 0));
}

TEST_F(SetupRegistry, CreateUserKeyUnderEachRoot) {
    Product setup;
    char className[] = "Not For Text Paths";
    setup.SetRegClassName(className);
    struct Case {
        const char* path;
        HKEY root;
        const char* key;
    } cases[] = {
        {"HKEY_CLASSES_ROOT\\RegistryTestClass\\Sub", HKEY_CLASSES_ROOT, "RegistryTestClass\\Sub"},
        {"Hkey_Current_User\\Software\\RegistryTest\\Created", HKEY_CURRENT_USER, "Software\\RegistryTest\\Created"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\RegistryTest\\Created", HKEY_LOCAL_MACHINE, "SOFTWARE\\RegistryTest\\Created"},
        {"hkey_users\\.DEFAULT\\Software\\RegistryTest", HKEY_USERS, ".DEFAULT\\Software\\RegistryTest"},
    };
    for (const Case& c : cases) {
        std::string path = c.path;
        EXPECT_EQ(1, setup.CreateUserKey(&path[0], 1)) << c.path;
        EXPECT_EQ(c.path, path);
        EXPECT_TRUE(keyExists(c.root, c.key)) << c.path;
        // Keys made here carry no class, whatever the class text is.
        EXPECT_EQ("", keyClass(c.root, c.key)) << c.path;

        // Kept open: the handle is the caller's, with full access.
        int handle = setup.CreateUserKey(&path[0], 0);
        ASSERT_NE(0, handle) << c.path;
        ASSERT_NE(1, handle) << c.path;
        DWORD one = 1;
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hkey(handle), "ViaHandle", 0, REG_DWORD,
                                                reinterpret_cast<BYTE*>(&one), sizeof one));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hkey(handle)));
        EXPECT_TRUE(readValue(c.root, c.key, "ViaHandle").found) << c.path;
        // Opening an existing key again changes nothing in it.
        EXPECT_EQ(1, setup.CreateUserKey(&path[0], 1));
        EXPECT_TRUE(readValue(c.root, c.key, "ViaHandle").found) << c.path;
        EXPECT_EQ(c.path, path);
    }

    for (const char* refused : {"HKLM\\SOFTWARE\\RegistryTest\\Refused", "HKEY_LOCAL_MACHINE",
                                "HKEY_LOCAL_MACHINEX\\SOFTWARE\\RegistryTest\\Refused", "\\SOFTWARE",
                                ""}) {
        std::string path = refused;
        path.resize(path.size() + 1);  // a writable, terminated copy
        EXPECT_EQ(0, setup.CreateUserKey(&path[0], 1)) << refused;
        EXPECT_EQ(0, setup.CreateUserKey(&path[0], 0)) << refused;
        EXPECT_STREQ(refused, path.c_str());
    }
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\RegistryTest\\Refused"));
}

// ---------------------------------------------------------------------------
// RunUninstall.

// Dialog 11500 created by Setup.Dll, counted through its import.
typedef HWND(WINAPI* CreateDialogFunction)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
CreateDialogFunction g_realCreateDialog = nullptr;
int g_removalWindows = 0;

HWND WINAPI countingCreateDialog(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param) {
    if (name == MAKEINTRESOURCEA(IDD_UNINSTALL))
        ++g_removalWindows;
    return g_realCreateDialog(instance, name, owner, procedure, param);
}

class SetupUninstall : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        uninstaller = dir + "\\QRVUnins.Exe";
        ASSERT_TRUE(CopyFileA(testenv::binPath("fake_uninstaller.exe").c_str(), uninstaller.c_str(), FALSE));
        log = dir + "\\uninstaller.log";
        SetEnvironmentVariableA("FAKE_UNINSTALLER_LOG", log.c_str());
        behave(100, 300);
        forget();
        g_removalWindows = 0;
        g_realCreateDialog = reinterpret_cast<CreateDialogFunction>(const_cast<void*>(ui::replaceImport(
            testenv::library(), "user32.dll", "CreateDialogParamA",
            reinterpret_cast<const void*>(&countingCreateDialog))));
        ASSERT_NE(nullptr, g_realCreateDialog);
    }
    void TearDown() override {
        if (g_realCreateDialog)
            ui::replaceImport(testenv::library(), "user32.dll", "CreateDialogParamA",
                              reinterpret_cast<const void*>(g_realCreateDialog));
        forget();
        SetEnvironmentVariableA("FAKE_UNINSTALLER_LOG", nullptr);
        SetEnvironmentVariableA("FAKE_UNINSTALLER_EXIT", nullptr);
        SetEnvironmentVariableA("FAKE_UNINSTALLER_MS", nullptr);
    }
    void forget() {
        for (const char* name : {"Registry Test Product", "REGISTRY test PRODUCT", kLongName})
            deleteTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + name);
    }
    void behave(int exitCode, int milliseconds) {
        SetEnvironmentVariableA("FAKE_UNINSTALLER_EXIT", std::to_string(exitCode).c_str());
        SetEnvironmentVariableA("FAKE_UNINSTALLER_MS", std::to_string(milliseconds).c_str());
    }
    // An Uninstall entry; a null text leaves that value out.
    void entry(const std::string& keyName, const char* displayName, const std::string* uninstallString) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kUninstallKey) + "\\" + keyName).c_str(),
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        if (displayName)
            RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(displayName),
                           static_cast<DWORD>(strlen(displayName) + 1));
        if (uninstallString)
            RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(uninstallString->c_str()),
                           static_cast<DWORD>(uninstallString->size() + 1));
        RegCloseKey(key);
    }
    void ourEntry() {
        std::string command = uninstaller + " Registry Test Product";
        entry("Registry Test Product", "Registry Test Product", &command);
    }
    // What the uninstaller recorded, line by line (nothing: not started).
    std::vector<std::string> recorded() {
        std::vector<unsigned char> bytes = testenv::readFile(log);
        std::vector<std::string> lines;
        std::string line;
        for (unsigned char c : bytes) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += static_cast<char>(c);
            }
        }
        return lines;
    }
    // The command line the uninstaller gets for `program`.
    std::string expectedCommand(std::string program) {
        CharLowerA(&program[0]);
        return shortPath(program) + " registry test product_";
    }

    static constexpr const char* kLongName =
        "A Product Whose Uninstall Key Name Is Longer Than Sixty-Four Characters";
    std::string dir, uninstaller, log;
};

TEST_F(SetupUninstall, RunsTheUninstallerWithTheRemovalWindowShown) {
    ourEntry();
    behave(100, 1500);
    Product setup;
    setup.ShowBGWindow(SW_SHOW);
    HWND owner = nullptr, parent = nullptr;
    bool picture = false;
    ui::Script ui;
    ui.window("the removal window", [](const ui::WindowInfo& w) { return w.text == kRemovalText; },
              [&](HWND window) {
                  owner = GetWindow(window, GW_OWNER);
                  parent = setup.GetParentForMessage();
                  picture = GetDlgItem(window, IDC_UNINSTALL_PICTURE) != nullptr;
              });
    EXPECT_EQ(100, setup.RunUninstall());
    EXPECT_TRUE(ui.finish());
    ASSERT_EQ(1u, ui.matched().size());
    HWND removal = ui.matched()[0].hwnd;
    EXPECT_EQ(setup.backgroundWindow, owner);
    // Centred, so it owned the messages while it was up.
    EXPECT_EQ(removal, parent);
    EXPECT_TRUE(picture);
    // Gone on return; messages belong to the background window again.
    EXPECT_FALSE(IsWindow(removal));
    EXPECT_EQ(setup.backgroundWindow, setup.GetParentForMessage());
    EXPECT_EQ(1, g_removalWindows);
    // Started once with the lower-case name and "_", and waited for.
    EXPECT_EQ((std::vector<std::string>{expectedCommand(uninstaller), "ended"}), recorded());
}

TEST_F(SetupUninstall, OtherExitCodesGiveOne) {
    ourEntry();
    Product setup;
    for (int code : {0, 1, 99, 101, static_cast<int>(STILL_ACTIVE)}) {
        DeleteFileA(log.c_str());
        behave(code, 50);
        EXPECT_EQ(1, setup.RunUninstall()) << code;
        // An uninstaller that ends with the code of a running process is
        // still waited for exactly until it ends.
        EXPECT_EQ((std::vector<std::string>{expectedCommand(uninstaller), "ended"}), recorded()) << code;
    }
    EXPECT_EQ(5, g_removalWindows);
}

TEST_F(SetupUninstall, EntryNamedInAnyCaseItsProgramQuotedOrNot) {
    // Written by this library (quoted) or by an earlier one (not).
    for (const std::string& command : {"\"" + uninstaller + "\" Registry Test Product",
                                       uninstaller + " Registry Test Product"}) {
        forget();
        DeleteFileA(log.c_str());
        entry("REGISTRY test PRODUCT", "Registry Test Product", &command);
        Product setup;
        EXPECT_EQ(100, setup.RunUninstall()) << command;
        EXPECT_EQ((std::vector<std::string>{expectedCommand(uninstaller), "ended"}), recorded()) << command;
    }
}

TEST_F(SetupUninstall, NothingToRemoveOrNothingToStart) {
    Product setup;
    HWND background = setup.backgroundWindow;
    // No entry.
    EXPECT_EQ(1, setup.RunUninstall());
    // An entry without DisplayName, or without UninstallString.
    std::string command = uninstaller + " Registry Test Product";
    entry("Registry Test Product", nullptr, &command);
    EXPECT_EQ(1, setup.RunUninstall());
    forget();
    entry("Registry Test Product", "Registry Test Product", nullptr);
    EXPECT_EQ(1, setup.RunUninstall());
    // An UninstallString of 260 characters does not fit; 259 would.
    std::string tooLong = uninstaller + " Registry Test Product";
    tooLong += std::string(260 - tooLong.size(), ' ');
    ASSERT_EQ(260u, tooLong.size());
    entry("Registry Test Product", "Registry Test Product", &tooLong);
    EXPECT_EQ(1, setup.RunUninstall());
    // The UninstallString begins with the DisplayName: no program before it.
    forget();
    std::string nameFirst = "Registry Test Product " + uninstaller;
    entry("Registry Test Product", "Registry Test Product", &nameFirst);
    EXPECT_EQ(1, setup.RunUninstall());
    // The uninstaller is gone.
    forget();
    ourEntry();
    ASSERT_TRUE(DeleteFileA(uninstaller.c_str()));
    EXPECT_EQ(1, setup.RunUninstall());
    // None of them started anything or showed the removal window.
    EXPECT_TRUE(recorded().empty());
    EXPECT_EQ(0, g_removalWindows);
    EXPECT_EQ(background, setup.GetParentForMessage());
}

TEST_F(SetupUninstall, AnotherInstallersEntryGivesZero) {
    Product setup;
    std::string other = uninstaller + " /x {0000-1111}";
    entry("Registry Test Product", "Registry Test Product", &other);
    EXPECT_EQ(0, setup.RunUninstall());
    // A DisplayName that differs from the key's name and is not in the command.
    forget();
    std::string command = uninstaller + " Registry Test Product";
    entry("Registry Test Product", "Another Name", &command);
    EXPECT_EQ(0, setup.RunUninstall());
    EXPECT_TRUE(recorded().empty());
    EXPECT_EQ(0, g_removalWindows);
}

TEST_F(SetupUninstall, ALongSubkeyNameStopsTheSearch) {
    ourEntry();
    // Listed before the product's entry, and 64 characters or more.
    std::string command = uninstaller + " x";
    entry(kLongName, "x", &command);
    Product setup;
    EXPECT_EQ(0, setup.RunUninstall());
    EXPECT_TRUE(recorded().empty());
    // Without it the product's entry is found.
    forget();
    ourEntry();
    EXPECT_EQ(100, setup.RunUninstall());
}

TEST_F(SetupUninstall, TheNameInTheUninstallersFolderDoesNotCutThePath) {
    // The name also stands in the uninstaller's folder (as "QRV" stands in
    // C:\WINDOWS\QRVUnins.Exe): the name that ends the string decides.
    std::string folder = dir + "\\Registry Test Product Files";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string program = folder + "\\QRVUnins.Exe";
    ASSERT_TRUE(CopyFileA(uninstaller.c_str(), program.c_str(), FALSE));
    std::string command = program + " Registry Test Product";
    entry("Registry Test Product", "Registry Test Product", &command);
    Product setup;
    EXPECT_EQ(100, setup.RunUninstall());
    EXPECT_EQ((std::vector<std::string>{expectedCommand(program), "ended"}), recorded());
    EXPECT_EQ(setup.backgroundWindow, setup.GetParentForMessage());
}

// A user who may read HKLM but not write it: Setup.Dll's opening of keys
// refuses every access beyond reading, as the system would.
using OpenKeyFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using CreateKeyFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*,
                                        PHKEY, LPDWORD);
OpenKeyFunction g_realOpenKey = nullptr;
CreateKeyFunction g_realCreateKey = nullptr;
bool readingOnly(REGSAM access) { return (access & ~(KEY_READ | KEY_WOW64_64KEY | KEY_WOW64_32KEY)) == 0; }
LONG WINAPI readOnlyOpenKey(HKEY root, LPCSTR name, DWORD options, REGSAM access, PHKEY key) {
    return readingOnly(access) ? g_realOpenKey(root, name, options, access, key) : ERROR_ACCESS_DENIED;
}
LONG WINAPI readOnlyCreateKey(HKEY root, LPCSTR name, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                              const SECURITY_ATTRIBUTES* security, PHKEY key, LPDWORD disposition) {
    return readingOnly(access) ? g_realCreateKey(root, name, reserved, keyClass, options, access, security, key,
                                                 disposition)
                               : ERROR_ACCESS_DENIED;
}

TEST_F(SetupUninstall, AUserWhoMayOnlyReadTheRegistryHasTheEarlierVersionRemoved) {
    ourEntry();
    Product setup;
    // The library may not have imported RegOpenKeyExA at all.
    g_realCreateKey = reinterpret_cast<CreateKeyFunction>(const_cast<void*>(ui::replaceImport(
        testenv::library(), "advapi32.dll", "RegCreateKeyExA", reinterpret_cast<const void*>(&readOnlyCreateKey))));
    g_realOpenKey = reinterpret_cast<OpenKeyFunction>(const_cast<void*>(ui::replaceImport(
        testenv::library(), "advapi32.dll", "RegOpenKeyExA", reinterpret_cast<const void*>(&readOnlyOpenKey))));
    int result = setup.RunUninstall();
    if (g_realCreateKey)
        ui::replaceImport(testenv::library(), "advapi32.dll", "RegCreateKeyExA",
                          reinterpret_cast<const void*>(g_realCreateKey));
    if (g_realOpenKey)
        ui::replaceImport(testenv::library(), "advapi32.dll", "RegOpenKeyExA",
                          reinterpret_cast<const void*>(g_realOpenKey));
    EXPECT_EQ(100, result);
    EXPECT_EQ((std::vector<std::string>{expectedCommand(uninstaller), "ended"}), recorded());
}

// Counts the timer ticks of a window of this thread.
int g_ticks = 0;
LRESULT CALLBACK tickingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER)
        ++g_ticks;
    return DefWindowProcA(window, message, wParam, lParam);
}

double seconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 1e7;
}

double processorSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return seconds(kernel) + seconds(user);
}

TEST_F(SetupUninstall, TheWaitServesWindowsWithoutSpinning) {
    ourEntry();
    behave(100, 2000);
    Product setup;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = tickingWindow;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "RegistryTestTicker";
    RegisterClassA(&wc);
    HWND ticker = CreateWindowA("RegistryTestTicker", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_NE(nullptr, ticker);
    SetTimer(ticker, 1, 50, nullptr);
    g_ticks = 0;
    // A quit message waiting in the queue survives the wait.
    PostQuitMessage(7);

    DWORD start = GetTickCount();
    double before = processorSeconds();
    EXPECT_EQ(100, setup.RunUninstall());
    double used = processorSeconds() - before;
    DWORD elapsed = GetTickCount() - start;
    KillTimer(ticker, 1);
    DestroyWindow(ticker);
    UnregisterClassA("RegistryTestTicker", wc.hInstance);

    printf("RunUninstall waited %lu ms for a 2000 ms uninstaller; this process used %.3f s of processor "
           "time meanwhile (%d timer ticks served)\n",
           static_cast<unsigned long>(elapsed), used, g_ticks);
    RecordProperty("wait_ms", static_cast<int>(elapsed));
    RecordProperty("processor_ms", static_cast<int>(used * 1000));
    // It returned after the uninstaller ended, serving this thread's windows.
    EXPECT_EQ((std::vector<std::string>{expectedCommand(uninstaller), "ended"}), recorded());
    EXPECT_GT(g_ticks, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}

TEST_F(SetupUninstall, RemovesWhatRegisterApplicationRegistered) {
    forgetApplication();
    std::string installed = windowsDir() + "\\QRVUnins.Exe";
    ASSERT_TRUE(CopyFileA(uninstaller.c_str(), installed.c_str(), FALSE));
    std::string install = dir + "\\App";
    std::vector<char> buffer(install.begin(), install.end());
    buffer.resize(PathSize, '\0');
    {
        Product setup;
        setup.SetInstallDirectory(buffer.data());
        ASSERT_EQ(1, setup.RegisterApplication());
        EXPECT_EQ(100, setup.RunUninstall());
    }
    EXPECT_EQ((std::vector<std::string>{expectedCommand(installed), "ended"}), recorded());
    DeleteFileA(installed.c_str());
    forgetApplication();
}

// ---------------------------------------------------------------------------
// The removal window's procedure.

TEST(UninstallDialog, ShowsTheProductAndDrawsTheBannerUnstretched) {
    char name[] = "Tom & Jerry";
    Product setup(name);
    HWND dialog = CreateDialogParamA(testenv::library(), MAKEINTRESOURCEA(IDD_UNINSTALL), nullptr,
                                     UninstallDialogProc, reinterpret_cast<LPARAM>(&setup));
    ASSERT_NE(nullptr, dialog);
    char text[300] = "";
    GetDlgItemTextA(dialog, IDC_UNINSTALL_TEXT, text, sizeof text);
    EXPECT_STREQ("Uninstalling existing version of Tom & Jerry.", text);
    EXPECT_EQ(dialog, setup.GetParentForMessage());

    // Draw the item into a white memory picture larger than the banner.
    HBITMAP banner = LoadBitmapA(testenv::library(), MAKEINTRESOURCEA(IDB_WORKING));
    ASSERT_NE(nullptr, banner);
    BITMAP size;
    ASSERT_TRUE(GetObjectA(banner, sizeof size, &size));
    HDC screen = GetDC(nullptr);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, size.bmWidth + 40, size.bmHeight + 40);
    HDC reference = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldCanvas = SelectObject(target, canvas);
    HGDIOBJ oldBanner = SelectObject(reference, banner);
    PatBlt(target, 0, 0, size.bmWidth + 40, size.bmHeight + 40, WHITENESS);

    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = IDC_UNINSTALL_PICTURE;
    item.hwndItem = GetDlgItem(dialog, IDC_UNINSTALL_PICTURE);
    item.hDC = target;
    item.rcItem = {10, 20, size.bmWidth + 40, size.bmHeight + 40};
    UninstallDialogProc(dialog, WM_DRAWITEM, IDC_UNINSTALL_PICTURE, reinterpret_cast<LPARAM>(&item));

    int differing = 0, dark = 0;
    POINT darkPoint = {0, 0};
    for (int y = 0; y < size.bmHeight; y += 3)
        for (int x = 0; x < size.bmWidth; x += 3) {
            COLORREF want = GetPixel(reference, x, y);
            differing += GetPixel(target, 10 + x, 20 + y) != want;
            if (want != RGB(255, 255, 255) && !dark++)
                darkPoint = {x, y};
        }
    EXPECT_EQ(0, differing);
    ASSERT_GT(dark, 0) << "the banner should not be all white";
    // At its own size on the 96-DPI screen the tests run on: the rest of the
    // item, and everything outside it, untouched.
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(target, 10 + size.bmWidth, 20));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(target, 10, 20 + size.bmHeight));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(target, 9, 20));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(target, 10, 19));

    // Another control's item is not drawn.
    PatBlt(target, 0, 0, size.bmWidth + 40, size.bmHeight + 40, WHITENESS);
    item.CtlID = IDC_UNINSTALL_TEXT;
    UninstallDialogProc(dialog, WM_DRAWITEM, IDC_UNINSTALL_TEXT, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(target, 10 + darkPoint.x, 20 + darkPoint.y));

    SelectObject(reference, oldBanner);
    SelectObject(target, oldCanvas);
    DeleteDC(reference);
    DeleteDC(target);
    DeleteObject(canvas);
    DeleteObject(banner);
    DestroyWindow(dialog);
}

}  // namespace
