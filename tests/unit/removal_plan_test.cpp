// The uninstaller's decisions: its command line, paths compared the way
// Windows looks names up, the shared roots no installation folder may be or
// hold, the removal plan from an Install.log (including logs written by
// someone other than the engine, and names that resolve elsewhere through
// 8.3 aliases and links), where Install.log is looked for, and the registry
// keys of the product's registration.
#include "tools/uninstaller/RemovalPlan.h"

#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "format/VolumeFormat.h"

namespace {

KnownFolders machine() {
    KnownFolders f;
    f.install = "C:\\Program Files\\Sample";
    f.windows = "C:\\Windows";
    f.system = "C:\\Windows\\System32";
    f.desktop = "C:\\Users\\ann\\Desktop";
    f.startup = "C:\\Users\\ann\\Start Menu\\Programs\\Startup";
    f.startMenu = "C:\\Users\\ann\\Start Menu";
    f.programs = "C:\\Users\\ann\\Start Menu\\Programs";
    f.self = "C:\\Windows\\QRVUnins.Exe";
    return f;
}

tagCompressFileHeader record(int32_t targetDir, const char* subDir, const char* fileName) {
    tagCompressFileHeader r;
    memset(&r, 0, sizeof r);
    r.targetDir = targetDir;
    r.group = 1;
    r.expandedSize = 10;
    strncpy(r.subDir, subDir, sizeof r.subDir - 1);
    strncpy(r.fileName, fileName, sizeof r.fileName - 1);
    return r;
}

// An Install.log as the engine writes it.
class Log {
public:
    Log& add(const tagCompressFileHeader& r) {
        size_t at = bytes.size();
        bytes.resize(at + FileRecordSize);
        serializeFileRecord(r, &bytes[at]);
        return *this;
    }
    // The engine's second record for a file written under a temporary name.
    Log& temporary(const char* name) {
        tagCompressFileHeader r = parseFileRecord(&bytes[bytes.size() - FileRecordSize]);
        memcpy(r.fileName, name, strlen(name) + 1);
        return add(r);
    }
    RemovalPlan plan(const KnownFolders& f = machine()) const {
        return planRemoval(bytes.data(), bytes.size(), f);
    }
    std::vector<unsigned char> bytes;
};

// A machine's aliases and links, as the Windows side would report them:
// `aliases` maps a spelt component to its long name, `links` a folder or
// file (long names) to where it leads.
class FakeMachine : public PathResolver {
public:
    std::map<std::string, std::string> aliases, links;
    std::map<std::string, int> asked;  // how often each path was resolved
    ResolvedPath resolve(const std::string& path) override {
        ++asked[path];
        std::vector<std::string> parts;
        EXPECT_TRUE(splitPath(path, &parts)) << path;
        ResolvedPath r;
        std::string at = parts[0] + "\\";
        for (size_t i = 1; i < parts.size(); ++i) {
            std::string name = aliases.count(parts[i]) ? aliases[parts[i]] : parts[i];
            std::string own = at + (at.back() == '\\' ? "" : "\\") + name;
            bool link = links.count(own) > 0;
            r.path = own;
            r.link = link;
            r.target = link ? links[own] : own;
            at = r.target;
        }
        if (parts.size() == 1)
            r.path = r.target = at;
        return r;
    }
};

std::vector<std::string> pathsOf(const RemovalPlan& plan, FileFate fate) {
    std::vector<std::string> out;
    for (const PlannedFile& f : plan.files)
        if (f.fate == fate)
            out.push_back(f.path);
    return out;
}

TEST(UninstallCommandLine, NameSwitchesAndQuotes) {
    CommandLine c;
    ASSERT_TRUE(parseCommandLine("My Product", &c));
    EXPECT_FALSE(c.unattended);
    EXPECT_EQ("My Product", c.name);
    ASSERT_TRUE(parseCommandLine("  /s   my product_  ", &c));
    EXPECT_TRUE(c.unattended);
    EXPECT_EQ("my product_", c.name);
    ASSERT_TRUE(parseCommandLine("/S \"Quoted Name\"", &c));
    EXPECT_EQ("Quoted Name", c.name);
    // The log, quoted whole or after its '=', before the name.
    ASSERT_TRUE(parseCommandLine("/S \"/LOG=C:\\a b.log\" My Product", &c));
    EXPECT_EQ("C:\\a b.log", c.logPath);
    EXPECT_EQ("My Product", c.name);
    ASSERT_TRUE(parseCommandLine("/log=\"C:\\a b.log\" /S  \"My Product\"", &c));
    EXPECT_TRUE(c.unattended);
    EXPECT_EQ("C:\\a b.log", c.logPath);
    EXPECT_EQ("My Product", c.name);
    EXPECT_FALSE(parseCommandLine("/LOG= Product", &c));
    EXPECT_FALSE(parseCommandLine("/LOG=x.log", &c));
    EXPECT_FALSE(parseCommandLine("/X Product", &c));
    EXPECT_FALSE(parseCommandLine("/S", &c));
    EXPECT_FALSE(parseCommandLine("   ", &c));
    EXPECT_FALSE(parseCommandLine(nullptr, &c));
}

TEST(UninstallCommandLine, TrailingUnderscoreIsTriedFirstAsAskedAlready) {
    std::vector<ProductChoice> c = productChoices("my product_");
    ASSERT_EQ(2u, c.size());
    EXPECT_EQ("my product", c[0].product);
    EXPECT_TRUE(c[0].askedAlready);
    EXPECT_EQ("my product_", c[1].product);
    EXPECT_FALSE(c[1].askedAlready);
    c = productChoices("My Product");
    ASSERT_EQ(1u, c.size());
    EXPECT_FALSE(c[0].askedAlready);
    // "_" alone names no product but itself.
    EXPECT_EQ(1u, productChoices("_").size());
    EXPECT_TRUE(validKeyName("My Product 2.0"));
    EXPECT_FALSE(validKeyName("..\\Other"));
    EXPECT_FALSE(validKeyName(""));
    EXPECT_FALSE(validKeyName(std::string("a\tb")));
    EXPECT_FALSE(validKeyName(std::string(201, 'x')));
}

TEST(UninstallPaths, ComparedAsWindowsLooksNamesUp) {
    EXPECT_TRUE(samePath("C:\\Program Files\\Sample", "c:/PROGRAM FILES/sample/"));
    EXPECT_TRUE(samePath("C:\\App.\\x ", "C:\\App\\x"));  // trailing dots and blanks dropped
    EXPECT_TRUE(samePath("C:\\a\\\\b", "C:\\a\\b"));
    EXPECT_TRUE(samePath("C:\\Caf\xe9", "C:\\CAF\xc9"));  // Windows-1252 letters fold too
    EXPECT_TRUE(pathInside("C:\\App", "C:\\app\\bin\\x.exe"));
    EXPECT_FALSE(pathInside("C:\\App", "C:\\App"));
    EXPECT_FALSE(pathInside("C:\\App", "C:\\Apple\\x.exe"));
    EXPECT_FALSE(pathInside("C:\\App", "D:\\App\\x.exe"));
    std::vector<std::string> parts;
    EXPECT_FALSE(splitPath("C:\\App\\..\\Windows", &parts));
    EXPECT_FALSE(splitPath("C:\\App\\nul.txt", &parts));
    EXPECT_FALSE(splitPath("C:\\App\\a.txt:stream", &parts));
    EXPECT_FALSE(splitPath("\\\\server\\share\\x", &parts));
    EXPECT_FALSE(splitPath("\\\\?\\C:\\x", &parts));
    EXPECT_FALSE(splitPath("App\\x", &parts));
    EXPECT_FALSE(splitPath("C:App", &parts));
    ASSERT_TRUE(splitPath("c:\\", &parts));
    EXPECT_EQ("c:\\", joinParts(parts, parts.size()));
}

TEST(UninstallFolder, RootsAndFoldersHoldingWindowsOwnAreRefused) {
    KnownFolders f = machine();
    EXPECT_TRUE(installFolderAcceptable(f));
    for (const char* bad : {"C:\\", "C:", "D:\\..", "C:\\Windows", "c:\\windows\\", "C:\\Users",
                            "C:\\Users\\ann\\Start Menu", "relative\\dir", ""}) {
        f.install = bad;
        EXPECT_FALSE(installFolderAcceptable(f)) << bad;
    }
    // Below the Windows folder is still a folder of its own.
    f.install = "C:\\Windows\\Sample";
    EXPECT_TRUE(installFolderAcceptable(f));
}

TEST(UninstallFolder, SharedRootsAndFoldersHoldingThemAreRefused) {
    const std::vector<std::string> shared = {"C:\\Program Files", "C:\\ProgramData", "C:\\Users\\ann\\Documents"};
    const struct {
        const char* folder;
        RootClash clash;
    } cases[] = {
        {"C:\\Program Files\\Sample", RootClash::None},
        {"C:\\Program Files Sample", RootClash::None},  // only starts alike
        {"c:\\program files\\", RootClash::IsShared},
        {"C:\\Users\\ann\\Documents.", RootClash::IsShared},
        {"C:\\Users", RootClash::HoldsShared},
        {"C:\\", RootClash::DriveRoot},
        {"C:\\Program Files\\..", RootClash::NotDrivePath},
    };
    for (const auto& c : cases) {
        std::string which;
        EXPECT_EQ(c.clash, sharedRootClash(c.folder, shared, &which)) << c.folder;
        EXPECT_EQ(c.clash == RootClash::IsShared || c.clash == RootClash::HoldsShared, !which.empty()) << c.folder;
    }
    KnownFolders f = machine();
    f.shared = shared;
    EXPECT_TRUE(installFolderAcceptable(f));
    f.install = "C:\\ProgramData";
    EXPECT_FALSE(installFolderAcceptable(f));
}

TEST(UninstallFolder, CandidatesClimbFromTheProgramFolderToBelowTheRoot) {
    EXPECT_EQ((std::vector<std::string>{"C:\\Apps\\Sample\\Bin", "C:\\Apps\\Sample", "C:\\Apps"}),
              installFolderCandidates("C:\\Apps\\Sample\\Bin\\"));
    EXPECT_TRUE(installFolderCandidates("C:\\").empty());
    EXPECT_TRUE(installFolderCandidates("..\\x").empty());
}

TEST(RemovalPlan, FilesLastInstalledFirstAndTheirFoldersDeepestFirst) {
    Log log;
    log.add(record(TargetInstall, "", "Sample.exe"))
        .add(record(TargetInstall, "Docs", "readme.txt"))
        .add(record(TargetInstall, "Docs\\en\\img", "a.bmp"))
        .add(record(TargetInstall, "Help", "help.hlp"))
        .add(record(TargetPrograms, "Sample", "Sample.lnk"))
        .add(record(TargetDesktop, "", "Sample.lnk"))
        .add(record(TargetStartup, "", "Sample Agent.LNK"));
    RemovalPlan plan = log.plan();
    ASSERT_TRUE(plan.valid) << plan.fault;
    EXPECT_EQ((std::vector<std::string>{
                  "C:\\Users\\ann\\Start Menu\\Programs\\Startup\\Sample Agent.LNK",
                  "C:\\Users\\ann\\Desktop\\Sample.lnk",
                  "C:\\Users\\ann\\Start Menu\\Programs\\Sample\\Sample.lnk",
                  "C:\\Program Files\\Sample\\Help\\help.hlp",
                  "C:\\Program Files\\Sample\\Docs\\en\\img\\a.bmp",
                  "C:\\Program Files\\Sample\\Docs\\readme.txt",
                  "C:\\Program Files\\Sample\\Sample.exe"}),
              pathsOf(plan, FileFate::Remove));
    EXPECT_EQ(7u, plan.files.size());
    // Neither the installation folder nor a shortcut folder itself.
    EXPECT_EQ((std::vector<std::string>{"C:\\Users\\ann\\Start Menu\\Programs\\Sample",
                                        "C:\\Program Files\\Sample\\Docs\\en\\img",
                                        "C:\\Program Files\\Sample\\Docs\\en",
                                        "C:\\Program Files\\Sample\\Help",
                                        "C:\\Program Files\\Sample\\Docs"}),
              plan.folders);
}

// A file another registered product lists (its plugin folder inside ours, a
// shortcut both share) stays, however the other log spells it.
TEST(RemovalPlan, FilesAnotherProductListsStay) {
    Log log;
    log.add(record(TargetInstall, "", "Sample.exe"))
        .add(record(TargetInstall, "Plugins", "common.dll"))
        .add(record(TargetPrograms, "Suite", "Go.lnk"))
        .add(record(TargetInstall, "", "Windows.dll"));
    RemovalPlan plan = log.plan();
    KnownFolders other = machine();
    other.install = "C:\\Program Files\\Sample\\Plugins";
    Log theirs;
    theirs.add(record(TargetInstall, "", "COMMON.DLL"))
        .add(record(TargetPrograms, "suite", "go.lnk"))
        .add(record(TargetWindows, "", "Windows.dll"))
        .add(record(TargetInstall, "", "Sample.exe"));
    std::vector<std::string> listed;
    for (const PlannedFile& f : theirs.plan(other).files)
        listed.push_back(f.path);
    EXPECT_EQ(2u, keepOtherProductsFiles(plan, listed));
    EXPECT_EQ((std::vector<std::string>{"C:\\Users\\ann\\Start Menu\\Programs\\Suite\\Go.lnk",
                                        "C:\\Program Files\\Sample\\Plugins\\common.dll"}),
              pathsOf(plan, FileFate::OtherProduct));
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\Sample\\Windows.dll",
                                        "C:\\Program Files\\Sample\\Sample.exe"}),
              pathsOf(plan, FileFate::Remove));
    EXPECT_EQ(0u, keepOtherProductsFiles(plan, {}));
}

// A folder that stays names what else it holds: never what the plan names,
// whatever became of it and however it is spelt, nor the lists added.
TEST(RemovalPlan, WhatAKeptFolderHoldsBesideTheProductsIsNamed) {
    Log log;
    log.add(record(TargetInstall, "", "Sample.exe"))
        .add(record(TargetInstall, "Docs", "guide.txt"))
        .add(record(TargetWindows, "", "Shared.dll"));
    PlannedPaths planned(log.plan());
    const std::string app = "C:\\Program Files\\Sample\\";
    planned.add(app + "Install.log");
    EXPECT_EQ((std::vector<std::string>{app + "notes.txt", app + "Saves", app + "Docs\\guide.txt.bak", "relative"}),
              planned.unplanned({app + "SAMPLE.EXE", app + "notes.txt", app + "docs", app + "Saves",
                                 app + "install.log", app + "Docs\\guide.txt.bak", "C:\\Windows\\shared.dll",
                                 "relative"}));
}

TEST(RemovalPlan, SharedFilesTheUninstallerItselfAndAnEmptyLog) {
    Log log;
    log.add(record(TargetWindows, "", "QRVUnins.Exe"))
        .add(record(TargetSystem, "", "SampleRuntime.dll"))
        .add(record(TargetWindows, "Fonts", "sample.ttf"))
        .add(record(TargetInstall, "", "Sample.exe"));
    KnownFolders f = machine();
    RemovalPlan plan = log.plan(f);
    ASSERT_TRUE(plan.valid);
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\Sample\\Sample.exe"}), pathsOf(plan, FileFate::Remove));
    EXPECT_EQ((std::vector<std::string>{"C:\\Windows\\Fonts\\sample.ttf", "C:\\Windows\\System32\\SampleRuntime.dll"}),
              pathsOf(plan, FileFate::Shared));
    EXPECT_EQ((std::vector<std::string>{"C:\\Windows\\QRVUnins.Exe"}), pathsOf(plan, FileFate::Self));
    EXPECT_TRUE(plan.folders.empty());

    // Even a product installed into its own folder of the Windows folder
    // leaves Windows' files alone, and a self named through the installation
    // folder stays too.
    f.install = "C:\\Windows\\Sample";
    f.self = "C:\\Windows\\Sample\\QRVUnins.Exe";
    Log inside;
    inside.add(record(TargetInstall, "", "QRVUnins.exe")).add(record(TargetInstall, "", "a.dll"));
    plan = inside.plan(f);
    EXPECT_EQ((std::vector<std::string>{"C:\\Windows\\Sample\\a.dll"}), pathsOf(plan, FileFate::Remove));
    EXPECT_EQ(1u, pathsOf(plan, FileFate::Self).size());

    RemovalPlan empty = planRemoval(nullptr, 0, machine());
    EXPECT_TRUE(empty.valid);
    EXPECT_TRUE(empty.files.empty());
}

TEST(RemovalPlan, TemporaryRecordsAreRemovedAsTheirFilesAre) {
    Log log;
    log.add(record(TargetInstall, "lib", "f1.dll"))
        .temporary("qrv1A2.tmp")
        .add(record(TargetPrograms, "Sample", "Sample.lnk"))
        .temporary("QRVFFFF.TMP")
        .add(record(TargetDesktop, "", "notes.txt"))
        .temporary("qrv3.tmp");
    RemovalPlan plan = log.plan();
    ASSERT_TRUE(plan.valid);
    ASSERT_EQ(6u, plan.files.size());
    EXPECT_TRUE(plan.files[0].temporary);
    EXPECT_EQ(FileFate::NotShortcut, plan.files[0].fate);  // stands in for notes.txt
    EXPECT_EQ(FileFate::NotShortcut, plan.files[1].fate);
    EXPECT_EQ("C:\\Users\\ann\\Start Menu\\Programs\\Sample\\QRVFFFF.TMP", plan.files[2].path);
    EXPECT_TRUE(plan.files[2].temporary);
    EXPECT_EQ(FileFate::Remove, plan.files[2].fate);  // stands in for a shortcut
    EXPECT_EQ("C:\\Program Files\\Sample\\lib\\qrv1A2.tmp", plan.files[4].path);
    EXPECT_EQ(FileFate::Remove, plan.files[4].fate);
    EXPECT_FALSE(plan.files[5].temporary);

    // A qrv name that does not follow its file's record is an ordinary file:
    // in a shortcut folder it stays.
    Log stray;
    stray.add(record(TargetInstall, "", "a.lnk")).add(record(TargetPrograms, "", "qrv12.tmp"));
    EXPECT_EQ(FileFate::NotShortcut, stray.plan().files[0].fate);
    EXPECT_FALSE(stray.plan().files[0].temporary);
}

TEST(RemovalPlan, PathsOutsideTheFoldersItMayTouchStay) {
    Log log;
    log.add(record(TargetNone, "D:\\Tools", "tool.exe"))                   // another drive
        .add(record(TargetNone, "C:\\Program Files\\Sample\\Bin", "x.dll"))  // absolute but inside
        .add(record(TargetNone, "C:\\Program Files\\Sample2", "y.dll"))       // a sibling that only starts alike
        .add(record(TargetNone, "\\\\server\\share", "z.dll"))                // not a drive path
        .add(record(TargetDesktop, "", "Budget.xls"))                        // the user's desktop
        .add(record(TargetInstall, "", "C:\\Users\\ann\\secret.doc"));       // a drive in the middle
    RemovalPlan plan = log.plan();
    ASSERT_FALSE(plan.valid);  // the last one cannot be a name the engine wrote
    EXPECT_EQ(5u, plan.badRecord);

    log.bytes.resize(5 * FileRecordSize);
    plan = log.plan();
    ASSERT_TRUE(plan.valid) << plan.fault;
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\Sample\\Bin\\x.dll"}), pathsOf(plan, FileFate::Remove));
    EXPECT_EQ((std::vector<std::string>{"\\\\server\\share\\z.dll", "C:\\Program Files\\Sample2\\y.dll",
                                        "D:\\Tools\\tool.exe"}),
              pathsOf(plan, FileFate::Outside));
    EXPECT_EQ((std::vector<std::string>{"C:\\Users\\ann\\Desktop\\Budget.xls"}), pathsOf(plan, FileFate::NotShortcut));
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\Sample\\Bin"}), plan.folders);

    // A machine without a Startup folder: its shortcut is nowhere to remove.
    KnownFolders f = machine();
    f.startup.clear();
    Log startup;
    startup.add(record(TargetStartup, "", "agent.lnk"));
    plan = startup.plan(f);
    ASSERT_TRUE(plan.valid);
    EXPECT_EQ(FileFate::Outside, plan.files[0].fate);
}

// Every rule holds for where a name leads, not how it is spelt.
TEST(RemovalPlan, DecidesOnWhatNamesResolveTo) {
    FakeMachine m;
    m.aliases = {{"PROG~FBU", "Program Files"}, {"STAR~DZT", "Start Menu"}, {"SAMP~1", "Sample"}};
    m.links = {{"C:\\Program Files\\Sample\\WinLink", "C:\\Windows"},
               {"C:\\Program Files\\Sample\\Jump", "C:\\Program Files\\Sample\\Docs"},
               {"C:\\Apps\\Other\\Jump", "C:\\Program Files\\Sample\\Docs"},
               {"C:\\Apps\\Sample", "C:\\Program Files\\Sample"},
               {"C:\\Program Files\\Sample\\c1.txt", "C:\\canary\\c1.txt"}};
    const struct {
        int32_t targetDir;
        const char* subDir;
        const char* name;
        FileFate fate;
        const char* path;  // where the plan says the file lies
    } cases[] = {
        // The same file under its alias is one removal (the last record is planned first).
        {TargetNone, "C:\\PROG~FBU\\Sample", "c.txt", FileFate::Remove, nullptr},
        {TargetNone, "C:\\PROG~FBU\\Other", "other.dll", FileFate::Outside, "C:\\Program Files\\Other\\other.dll"},
        {TargetNone, "C:\\PROG~FBU\\SAMP~1\\Bin", "x.dll", FileFate::Remove, "C:\\Program Files\\Sample\\Bin\\x.dll"},
        {TargetInstall, "WinLink", "canary.txt", FileFate::Shared, "C:\\Windows\\canary.txt"},
        {TargetInstall, "Jump", "a.txt", FileFate::BehindLink, "C:\\Program Files\\Sample\\Docs\\a.txt"},
        {TargetNone, "C:\\Apps\\Other\\Jump", "b.txt", FileFate::BehindLink, "C:\\Program Files\\Sample\\Docs\\b.txt"},
        // The installation folder itself reached through a link: its own files.
        {TargetNone, "C:\\Apps\\Sample", "c.txt", FileFate::Remove, "C:\\Program Files\\Sample\\c.txt"},
        // A file of the product that is a link: the link lies inside and goes itself.
        {TargetInstall, "", "c1.txt", FileFate::Remove, "C:\\Program Files\\Sample\\c1.txt"},
        {TargetNone, "C:\\Users\\ann\\STAR~DZT", "notes.txt", FileFate::NotShortcut, "C:\\Users\\ann\\Start Menu\\notes.txt"},
    };
    Log log;
    for (const auto& c : cases)
        log.add(record(c.targetDir, c.subDir, c.name));
    RemovalPlan plan = planRemoval(log.bytes.data(), log.bytes.size(), machine(), m);
    ASSERT_TRUE(plan.valid) << plan.fault;
    ASSERT_EQ(8u, plan.files.size());
    for (size_t i = 1; i < sizeof cases / sizeof cases[0]; ++i) {
        const PlannedFile& file = plan.files[plan.files.size() - i];
        EXPECT_EQ(cases[i].path, file.path) << i;
        EXPECT_EQ(cases[i].fate, file.fate) << i;
        EXPECT_EQ(i == 7, file.link) << i;
    }
    // Only the product's own folders, never one reached by an alias or a link.
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\Sample\\Bin"}), plan.folders);
    // Each folder on the way is asked once, however many files it holds.
    for (const auto& asked : m.asked)
        EXPECT_EQ(1, asked.second) << asked.first;
}

TEST(RemovalPlan, DamagedLogsRemoveNothing) {
    Log good;
    good.add(record(TargetInstall, "", "a.exe")).add(record(TargetInstall, "", "b.dll"));

    // Cut short.
    Log cut = good;
    cut.bytes.resize(cut.bytes.size() - 1);
    RemovalPlan plan = cut.plan();
    EXPECT_FALSE(plan.valid);
    EXPECT_EQ(1u, plan.badRecord);
    EXPECT_TRUE(plan.files.empty());
    EXPECT_TRUE(plan.folders.empty());

    auto damagedAt = [](Log log, size_t at, void (*spoil)(unsigned char*)) {
        spoil(&log.bytes[at * FileRecordSize]);
        RemovalPlan p = log.plan();
        EXPECT_TRUE(p.files.empty());
        return !p.valid && p.badRecord == at;
    };
    EXPECT_TRUE(damagedAt(good, 1, [](unsigned char* r) { memset(r + 304, 'x', 260); }));  // fileName unterminated
    EXPECT_TRUE(damagedAt(good, 0, [](unsigned char* r) { memset(r + 44, 'x', 260); }));   // subDir unterminated
    EXPECT_TRUE(damagedAt(good, 1, [](unsigned char* r) { r[304] = 0; }));                 // no name
    EXPECT_TRUE(damagedAt(good, 0, [](unsigned char* r) { writeLe32(r + 40, 8); }));       // targetDir 8
    EXPECT_TRUE(damagedAt(good, 0, [](unsigned char* r) { writeLe32(r + 40, 0xFFFFFFFF); }));
    EXPECT_TRUE(damagedAt(good, 1, [](unsigned char* r) { strcpy(reinterpret_cast<char*>(r + 44), "..\\..\\Windows"); }));
    EXPECT_TRUE(damagedAt(good, 1, [](unsigned char* r) { strcpy(reinterpret_cast<char*>(r + 44), "Docs\\.."); }));
    EXPECT_TRUE(damagedAt(good, 0, [](unsigned char* r) { strcpy(reinterpret_cast<char*>(r + 304), "CON"); }));
    EXPECT_TRUE(damagedAt(good, 0, [](unsigned char* r) { strcpy(reinterpret_cast<char*>(r + 304), "a\\..\\..\\x"); }));
    EXPECT_TRUE(damagedAt(good, 1, [](unsigned char* r) { strcpy(reinterpret_cast<char*>(r + 304), "x.txt::$DATA"); }));
    EXPECT_TRUE(damagedAt(good, 1, [](unsigned char* r) { strcpy(reinterpret_cast<char*>(r + 304), "*.*"); }));

    // A whole folder (targetDir 3) that climbs is damage too, not just "outside".
    Log climbing = good;
    climbing.add(record(TargetNone, "C:\\Program Files\\Sample\\..\\..\\Windows", "x.dll"));
    plan = climbing.plan();
    EXPECT_FALSE(plan.valid);
    EXPECT_EQ(2u, plan.badRecord);

    // The same file twice is one removal.
    Log twice = good;
    twice.add(record(TargetInstall, "", "A.EXE"));
    plan = twice.plan();
    ASSERT_TRUE(plan.valid);
    EXPECT_EQ(2u, plan.files.size());
}

TEST(UninstallRegistry, TheKeysOfTheRegistrationUninstallEntryLast) {
    std::vector<RegistryRemoval> keys = registryRemovals("My Product", "App.exe");
    ASSERT_EQ(4u, keys.size());
    EXPECT_EQ(RegistryRoot::ClassesRoot, keys[0].root);
    EXPECT_EQ("QRV_Files\\Shell\\My Product", keys[0].key);
    EXPECT_EQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\App.exe", keys[1].key);
    EXPECT_TRUE(keys[1].onlyIfInside);
    EXPECT_EQ("SOFTWARE\\Tarvelon\\My Product", keys[2].key);
    EXPECT_EQ("SOFTWARE", keys[2].keepAbove);
    EXPECT_EQ(uninstallKey("My Product"), keys[3].key);
    EXPECT_EQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My Product", keys[3].key);
    for (const RegistryRemoval& k : keys) {
        EXPECT_EQ(RegistryRoot::ClassesRoot == k.root, k.key.rfind("QRV_Files", 0) == 0);
        EXPECT_FALSE(k.onlyIfInside && k.key.find("App Paths") == std::string::npos);
    }
    // No program name, or one that would name another key: no App Paths key.
    EXPECT_EQ(3u, registryRemovals("My Product", "").size());
    EXPECT_EQ(3u, registryRemovals("My Product", "..\\..\\Run").size());
}

}  // namespace
