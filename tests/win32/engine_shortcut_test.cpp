// Shortcuts: shell links made with IShellLink, packed, installed to the Start
// Menu and Programs folders and re-pointed at this machine's directories by
// the keyword after the archive's shortcut prefix; paths without a usable
// keyword leave the file as shipped, and a file that is no link stops the run.
#include "Setup.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace {

const char kCaption[] = "Engine Test Setup";

struct Link {
    std::string target, workDir, arguments, description;
};

class Com {
public:
    Com() { CoInitialize(nullptr); }
    ~Com() { CoUninitialize(); }
};

bool writeLink(const std::string& path, const Link& link) {
    Com com;
    IShellLinkA* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shell))))
        return false;
    shell->SetPath(link.target.c_str());
    shell->SetWorkingDirectory(link.workDir.c_str());
    shell->SetArguments(link.arguments.c_str());
    shell->SetDescription(link.description.c_str());
    IPersistFile* file = nullptr;
    bool ok = SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (ok) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        ok = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    shell->Release();
    return ok;
}

Link readLink(const std::string& path) {
    Com com;
    Link out;
    IShellLinkA* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shell))))
        return out;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            char text[MAX_PATH] = "";
            WIN32_FIND_DATAA found;
            shell->GetPath(text, MAX_PATH, &found, SLGP_UNCPRIORITY);
            out.target = text;
            text[0] = '\0';
            shell->GetWorkingDirectory(text, MAX_PATH);
            out.workDir = text;
            text[0] = '\0';
            shell->GetArguments(text, MAX_PATH);
            out.arguments = text;
            text[0] = '\0';
            shell->GetDescription(text, MAX_PATH);
            out.description = text;
        }
        file->Release();
    }
    shell->Release();
    return out;
}

std::string special(int csidl) {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

// QRV_DirReparing on a copy of `shipped`; returns {result, rewritten path}.
std::pair<int, std::string> repare(SetupFileManager& engine, const std::string& shipped,
                                   unsigned int prefix, const std::string& installDir) {
    std::vector<char> in(shipped.begin(), shipped.end());
    in.resize(260, '\0');
    std::vector<char> dir(installDir.begin(), installDir.end());
    dir.resize(260, '\0');
    char result[260] = "untouched";
    int r = engine.QRV_DirReparing(result, in.data(), prefix, dir.data());
    EXPECT_EQ(shipped, std::string(in.data())) << "the shipped path is given back unchanged";
    return {r, result};
}

TEST(EngineKeywords, EveryKeywordInAnyCase) {
    kit::Engine engine;
    const std::string app = "D:\\Programs\\Acme";
    const std::string win = kit::windowsDir(), sys = kit::systemDir();
    EXPECT_EQ(std::make_pair(1, app + "\\bin\\app.exe"), repare(engine, "C:\\SRC\\work\\bin\\app.exe", 2, app));
    EXPECT_EQ(std::make_pair(1, app), repare(engine, "C:\\SRC\\WORK", 2, app));
    EXPECT_EQ(std::make_pair(static_cast<int>(win.size()), win + "\\x.ini"),
              repare(engine, "C:\\SRC\\Windows\\x.ini", 2, app));
    EXPECT_EQ(std::make_pair(static_cast<int>(sys.size()), sys + "\\drv"),
              repare(engine, "C:\\SRC\\sYsTeM\\drv", 2, app));
    EXPECT_EQ(std::make_pair(1, special(CSIDL_DESKTOPDIRECTORY) + "\\a"),
              repare(engine, "C:\\SRC\\Desktop\\a", 2, app));
    EXPECT_EQ(std::make_pair(1, special(CSIDL_STARTUP)), repare(engine, "C:\\SRC\\STARTUP", 2, app));
    EXPECT_EQ(std::make_pair(1, special(CSIDL_STARTMENU) + "\\Acme"),
              repare(engine, "C:\\SRC\\Start Menu\\Acme", 2, app));
    EXPECT_EQ(std::make_pair(1, special(CSIDL_PROGRAMS) + "\\Acme\\a.lnk"),
              repare(engine, "C:\\SRC\\programs\\Acme\\a.lnk", 2, app));
    // The prefix length decides where the search starts: a build folder of
    // any depth is skipped.
    EXPECT_EQ(std::make_pair(1, app + "\\x"), repare(engine, "D:\\Build\\Out\\x\\work\\x", 12, app));

    // No usable keyword: 0 and nothing written.
    for (const char* shipped : {"C:\\SRC\\root\\x", "C:\\SRC\\elsewhere\\x", "C:\\SRC\\works", "", "C:",
                                "C:\\SRC"})
        EXPECT_EQ(std::make_pair(0, std::string("untouched")), repare(engine, shipped, 2, app)) << shipped;
    // A damaged header's prefix length is longer than any path: plus one it
    // must not wrap round to 0 and find "work" from the path's start.
    for (unsigned int prefix : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000000u})
        EXPECT_EQ(std::make_pair(0, std::string("untouched")),
                  repare(engine, "\\work\\bin\\app.exe", prefix, app))
            << prefix;
    // A rewritten path beyond 260 characters is refused, not cut.
    std::string deep = "D:\\" + std::string(240, 'a');
    EXPECT_EQ(std::make_pair(0, std::string("untouched")),
              repare(engine, "C:\\SRC\\work\\" + std::string(30, 'b'), 2, deep));
}

TEST(EngineKeywords, ReadOnlySystemDirectoryMeansWindows) {
    kit::Engine engine;
    std::string sys = kit::systemDir();
    // Wine keeps no read-only attribute of its own on folders: it shows a
    // folder without write permission as read-only.
    std::string unix = kit::unixPath(sys);
    ASSERT_TRUE(kit::hostCommand("chmod a-w '" + unix + "'"));
    bool marked = engine.QRV_IsReadOnly(&sys[0]) == 1;
    std::pair<int, std::string> r = repare(engine, "C:\\SRC\\system\\drv.sys", 2, "D:\\App");
    ASSERT_TRUE(kit::hostCommand("chmod u+w '" + unix + "'"));
    ASSERT_TRUE(marked);
    EXPECT_EQ(std::make_pair(static_cast<int>(kit::windowsDir().size()), kit::windowsDir() + "\\drv.sys"), r);
    EXPECT_EQ(0, engine.QRV_IsReadOnly(&sys[0]));
    std::string missing = sys + "\\no such file";
    EXPECT_EQ(0, engine.QRV_IsReadOnly(&missing[0]));
}

TEST(EngineKeywords, SpecialFolders) {
    kit::Engine engine;
    char path[260] = "";
    ASSERT_EQ(1, engine.QRV_SpecialDir(path, CSIDL_PROGRAMS));
    EXPECT_EQ(special(CSIDL_PROGRAMS), path);
    EXPECT_EQ(0, engine.QRV_SpecialDir(path, 0x7f));  // no such folder
}

class EngineShortcut : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        app = dir + "\\App";
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        cleanUp();
    }
    void TearDown() override { cleanUp(); }
    void cleanUp() {
        testenv::removeTree(special(CSIDL_STARTMENU) + "\\Engine Test");
        testenv::removeTree(special(CSIDL_PROGRAMS) + "\\Engine Test");
    }
    int modify(SetupFileManager& engine, const std::string& path, const std::string& installDir) {
        std::vector<char> p(path.begin(), path.end());
        p.push_back('\0');
        std::vector<char> d(installDir.begin(), installDir.end());
        d.push_back('\0');
        return engine.QRV_ShortcutModification(d.data(), p.data(), 2);
    }
    std::string dir, volumes, app;
};

TEST_F(EngineShortcut, ModificationLeavesFilesWithoutKeywordsAlone) {
    kit::Engine engine;
    struct Case {
        const char* name;
        Link link;
        bool rewritten;
    } cases[] = {
        {"work.lnk", {"C:\\SRC\\work\\bin\\app.exe", "C:\\SRC\\work", "-x", "Acme"}, true},
        {"root.lnk", {"C:\\SRC\\root\\bin\\app.exe", "C:\\SRC\\work", "", "Root"}, false},
        {"unknown.lnk", {"C:\\SRC\\other\\app.exe", "C:\\SRC\\work", "", "Other"}, false},
        // The target resolves, the working directory does not: nothing saved.
        {"halfway.lnk", {"C:\\SRC\\work\\app.exe", "C:\\SRC\\nowhere", "", "Half"}, false},
        {"nodir.lnk", {"C:\\SRC\\work\\app.exe", "", "", "No dir"}, false},
    };
    for (const Case& c : cases) {
        std::string path = dir + "\\" + c.name;
        ASSERT_TRUE(writeLink(path, c.link)) << c.name;
        std::vector<unsigned char> before = testenv::readFile(path);
        EXPECT_EQ(1, modify(engine, path, app)) << c.name;
        if (c.rewritten) {
            Link now = readLink(path);
            EXPECT_EQ(app + "\\bin\\app.exe", now.target);
            EXPECT_EQ(app, now.workDir);
            EXPECT_EQ(c.link.arguments, now.arguments);
            EXPECT_EQ(c.link.description, now.description);
        } else {
            EXPECT_TRUE(before == testenv::readFile(path)) << c.name;
        }
    }
    ASSERT_TRUE(testenv::writeFile(dir + "\\bad.lnk", "this is not a shell link"));
    EXPECT_EQ(0, modify(engine, dir + "\\bad.lnk", app));
    EXPECT_EQ(0, modify(engine, dir + "\\missing.lnk", app));
}

TEST_F(EngineShortcut, InstalledLinksPointAtThisMachine) {
    const std::string win = kit::windowsDir(), sys = kit::systemDir();
    struct Case {
        const char* name;
        const char* target;   // folder: startmenu, programs, install
        Link link;
        std::string expectTarget, expectDir;  // empty: the file stays as shipped
    } cases[] = {
        {"work.lnk", "startmenu", {"C:\\SRC\\work\\bin\\app.exe", "C:\\SRC\\Work", "-x", "Acme"},
         app + "\\bin\\app.exe", app},
        {"windows.lnk", "programs", {"C:\\SRC\\WINDOWS\\notepad.exe", "C:\\SRC\\windows", "a.txt", "Pad"},
         win + "\\notepad.exe", win},
        {"system.lnk", "programs", {"C:\\SRC\\System\\cmd.exe", "C:\\SRC\\work\\data", "", "Cmd"},
         sys + "\\cmd.exe", app + "\\data"},
        {"desktop.lnk", "startmenu", {"C:\\SRC\\desktop\\notes.txt", "C:\\SRC\\DESKTOP", "", "Notes"},
         special(CSIDL_DESKTOPDIRECTORY) + "\\notes.txt", special(CSIDL_DESKTOPDIRECTORY)},
        {"startup.lnk", "programs", {"C:\\SRC\\StartUp\\run.exe", "C:\\SRC\\startup", "", "Run"},
         special(CSIDL_STARTUP) + "\\run.exe", special(CSIDL_STARTUP)},
        {"menu.lnk", "startmenu", {"C:\\SRC\\start menu\\Acme\\x.exe", "C:\\SRC\\Start Menu", "", "Menu"},
         special(CSIDL_STARTMENU) + "\\Acme\\x.exe", special(CSIDL_STARTMENU)},
        {"progs.LNK", "install", {"C:\\SRC\\Programs\\y.exe", "C:\\SRC\\PROGRAMS\\Acme", "", "Progs"},
         special(CSIDL_PROGRAMS) + "\\y.exe", special(CSIDL_PROGRAMS) + "\\Acme"},
        {"root.lnk", "startmenu", {"C:\\SRC\\root\\x.exe", "C:\\SRC\\work", "", "Root"}, "", ""},
        {"other.lnk", "programs", {"C:\\SRC\\whatever\\x.exe", "C:\\SRC\\work", "", "Other"}, "", ""},
        {"halfway.lnk", "programs", {"C:\\SRC\\work\\x.exe", "C:\\SRC\\nowhere", "", "Half"}, "", ""},
    };
    kit::Manifest m;
    m.line("shortcut-prefix 2");
    for (const Case& c : cases) {
        ASSERT_TRUE(writeLink(dir + "\\src\\" + c.name, c.link)) << c.name;
        m.file(std::string("src\\") + c.name, c.target, std::string(c.target) == "install" ? "" : "Engine Test");
    }
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(2, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(guard.seen().empty());
        EXPECT_EQ(2u, engine.shortcutPrefixLength);
    }
    for (const Case& c : cases) {
        std::string folder = std::string(c.target) == "install"     ? app
                             : std::string(c.target) == "startmenu" ? special(CSIDL_STARTMENU) + "\\Engine Test"
                                                                    : special(CSIDL_PROGRAMS) + "\\Engine Test";
        std::string path = folder + "\\" + c.name;
        ASSERT_TRUE(testenv::fileExists(path)) << path;
        if (c.expectTarget.empty()) {
            EXPECT_TRUE(testenv::readFile(dir + "\\src\\" + c.name) == testenv::readFile(path)) << c.name;
            continue;
        }
        Link now = readLink(path);
        EXPECT_EQ(c.expectTarget, now.target) << c.name;
        EXPECT_EQ(c.expectDir, now.workDir) << c.name;
        EXPECT_EQ(c.link.arguments, now.arguments) << c.name;
        EXPECT_EQ(c.link.description, now.description) << c.name;
    }
    EXPECT_EQ(sizeof cases / sizeof cases[0], kit::readLog(app + "\\Install.log").size());
}

TEST_F(EngineShortcut, AFileThatIsNoLinkStopsTheRun) {
    ASSERT_TRUE(writeLink(dir + "\\src\\good.lnk", {"C:\\SRC\\work\\a.exe", "C:\\SRC\\work", "", "Good"}));
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\bad.lnk", "plain text that only looks like a shortcut"));
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\after.txt", "after"));
    kit::Manifest m;
    m.line("shortcut-prefix 2");
    m.file("src\\good.lnk", "programs", "Engine Test");
    m.file("src\\bad.lnk", "programs", "Engine Test");
    m.file("src\\after.txt", "install", "");
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    {
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Cannot create record in Start Menu.", IDOK, MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        EXPECT_EQ(0, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(ui.finish());
        EXPECT_TRUE(guard.seen().empty());
    }
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_EQ(1u, log.size());
    EXPECT_STREQ("good.lnk", log[0].fileName);
    EXPECT_EQ(app + "\\a.exe", readLink(special(CSIDL_PROGRAMS) + "\\Engine Test\\good.lnk").target);
    EXPECT_FALSE(testenv::fileExists(app + "\\after.txt"));
}

}  // namespace
