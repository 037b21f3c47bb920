// SetupTypes.h: the portable half of Setup.h, which includes it: the
// results and notification kinds the operations take and return, the page
// protocol's numbers, and the records of the data volumes and of
// Install.log. Host-side tools and tests (setupvol, the uninstaller's plan,
// the unit tests) share it; on Windows it brings <windows.h> for FILETIME,
// the record's time stamp.
/// \file
/// The results, notification kinds and on-disk records of Setup.Dll
/// (included by Setup.h).
#ifndef SETUP_RUNTIME_SETUP_TYPES_H
#define SETUP_RUNTIME_SETUP_TYPES_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#endif

// ---------------------------------------------------------------------------
/// Results shared by most operations.
///
/// 0 failure (already shown to the user), 1 user break, 2 success or go on,
/// 3 end of data at the reader layer, and "done, reboot needed" at the file
/// loop and run level.
enum StepResult {
    StepFailure = 0,
    StepUserBreak = 1,
    StepContinue = 2,
    StepEndOfData = 3,
    StepDoneReboot = 3
};

#ifndef SETUP_PATH_LIMIT_DEFINED
/// Set with PathLimit: the library's portable code states the same enum
/// under the same name, and whichever header comes first defines it.
#define SETUP_PATH_LIMIT_DEFINED
/// Every path buffer of the library, terminator included, and the width of
/// the text fields below (a path of at most 259 characters).
enum PathLimit { PathSize = 260 };
#endif

/// Modes of Reader::Read.
enum ReadMode {
    ReadModeRecord = 0,   ///< the next file record, exactly one
    ReadModeFileData = 1, ///< the current file's compressed data, across volumes
    ReadModePlain = 2     ///< plain bytes from the open volume
};

/// Kinds of the TakeProcessInfo notification, with what `data` points to.
enum ProcessInfoKind {
    InfoBeforeFile = 0,     ///< a FileNotice; the answer is a FileNoticeAnswer
    InfoVolumeOpened = 1,   ///< the open volume's path; the answer is ignored
    InfoOverallPercent = 2, ///< unsigned int, files done; StepUserBreak or StepFailure end the run
    InfoFilePercent = 3     ///< unsigned int, the current file written; the answer is only kept
};

/// Answers to InfoBeforeFile. Any value is an answer: those not named here
/// act as NoticeGoOn, so the type holds every int.
enum FileNoticeAnswer : int {
    NoticeFail = 0,   ///< the run ends with StepFailure
    NoticeBreak = 1,  ///< the run ends with StepUserBreak
    NoticeGoOn = 2,   ///< install, unless the file's group is disabled by now
    NoticeSkip = 3,   ///< pass over this file
    NoticeInstall = 4 ///< install even when the file's group is disabled by now
};

/// Results of BaseInterface::BrowseForProgram.
enum BrowseResult {
    BrowseChosen = 0,   ///< an existing folder, its full path given back
    BrowseMissing = 1,  ///< the folder does not exist and was not created (said so)
    BrowseCancelled = 2 ///< cancelled, or OK with an empty path
};

/// Replies of a product's page procedure (PageProcedure below): what the
/// library's common page procedure does next. Any other reply ends the page
/// with 0 and returns FALSE.
enum PageReply {
    PageReplyEndWizard = 0,   ///< end the page with 0: the wizard ends
    PageReplyGoToPage = 1,    ///< end the page, on to currentPage (ChangeNextDlg); out of range ends
    PageReplyNotHandled = 2,  ///< the library's own handling of the message applies
    PageReplyHandled = 3,     ///< handled: the dialog procedure returns TRUE
    PageReplyHandledFalse = 4 ///< handled: the dialog procedure returns FALSE
};

/// Command ids (WM_COMMAND, low word) and control ids of a product's page
/// templates that the library's page procedure understands. A template's
/// resource script writes the numbers themselves.
enum PageControlId {
    PageCancel = 2,     ///< IDCANCEL: asks whether to exit the installation
    PageClose = 11101,  ///< ends the wizard
    PageBack = 11102,   ///< the previous page; on page 1 ends the wizard
    PageNext = 11103,   ///< the next page; past the last one ends the wizard
    PageEnd = 11104,    ///< ends the wizard
    PageReadme = 11105, ///< opens Readme.txt of the current directory in the text editor
    PagePicture = 11106,///< owner-drawn control that shows the page picture
    PageBrowse = 11108, ///< lets the user choose the target folder
    PageFolder = 11109  ///< shows the target folder after PageBrowse
};

/// Bitmaps of the product executable drawn into control PagePicture, both
/// palette bitmaps whose header states the colours used: the first for
/// displays of 16 colours and for true-colour ones, the second for palette
/// displays of more than 16 colours (it falls back to the first).
enum PagePictureId {
    PagePictureBasic = 21115,  ///< 16 colours
    PagePicturePalette = 21116 ///< up to 256 colours
};

// ---------------------------------------------------------------------------
// Data volume layout. All integers are 32-bit little-endian; text fields are
// zero-terminated ANSI strings in fixed PathSize-byte fields. Nothing is padded.

#pragma pack(push, 1)

/// The archive header stands at offset 4 of Data1.Dat, after the volume number.
struct ArchiveHeader {
    uint32_t totalSize;            ///< handed to the product by GetSize
    uint32_t fileCount;            ///< first records only, continuations not counted
    int32_t groupCount;            ///< compared with the product's group list
    int32_t formatVersion;         ///< must be 1
    uint32_t shortcutPrefixLength; ///< skipped before a shortcut path's keyword
};

#ifdef _WIN32
/// A record's time: Windows' FILETIME, low then high 32 bits.
typedef FILETIME SetupFileTime;
#else
struct SetupFileTime {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};
#endif

/// One record per file in the volumes, and the record unit of Install.log.
struct tagCompressFileHeader {
    uint32_t continued;          ///< nonzero: the data goes on in the next volume
    SetupFileTime lastWriteTime; ///< becomes the installed file's last-write time
    uint32_t chunkSize;          ///< compressed bytes following this record here
    uint32_t expandedSize;       ///< divisor of the per-file percentage only
    int32_t group;               ///< 1..groupCount
    int32_t version[4];          ///< most significant first, compared signed
    int32_t targetDir;           ///< base directory keyword, 0..7
    char subDir[PathSize];       ///< folder below the target directory, may be empty
    char fileName[PathSize];     ///< the installed file's name
};

#pragma pack(pop)

static_assert(sizeof(ArchiveHeader) == 20, "archive header is 20 bytes");
static_assert(sizeof(tagCompressFileHeader) == 564, "file record is 564 bytes");
static_assert(__builtin_offsetof(tagCompressFileHeader, lastWriteTime) == 4, "");
static_assert(__builtin_offsetof(tagCompressFileHeader, chunkSize) == 12, "");
static_assert(__builtin_offsetof(tagCompressFileHeader, expandedSize) == 16, "");
static_assert(__builtin_offsetof(tagCompressFileHeader, group) == 20, "");
static_assert(__builtin_offsetof(tagCompressFileHeader, version) == 24, "");
static_assert(__builtin_offsetof(tagCompressFileHeader, targetDir) == 40, "");
static_assert(__builtin_offsetof(tagCompressFileHeader, subDir) == 44, "");
static_assert(__builtin_offsetof(tagCompressFileHeader, fileName) == 304, "");
static_assert(__builtin_offsetof(ArchiveHeader, groupCount) == 8, "");
static_assert(__builtin_offsetof(ArchiveHeader, shortcutPrefixLength) == 16, "");

/// What notification 0 ("before a file is written") points to: the target
/// path, then the file's current entry in the group list.
struct FileNotice {
    char targetPath[PathSize]; ///< full path the file is about to be written to
    int groupState;            ///< the file's group entry: 1 enabled, 0 disabled, -1 no list
};
static_assert(sizeof(FileNotice) == 264, "path then the group entry");

/// Base directory keywords of tagCompressFileHeader::targetDir.
enum TargetDirKeyword {
    TargetWindows = 0,
    TargetSystem = 1,
    TargetDesktop = 2,
    TargetNone = 3,
    TargetInstall = 4,
    TargetStartup = 5,
    TargetStartMenu = 6,
    TargetPrograms = 7
};

/// The string numbers of what the message hook (SetMessageHook) is offered
/// besides the string table's other texts, and of the questions an
/// unattended install answers Yes to.
enum MessageHookIds {
    MessageHookBrowser = 0,    ///< the folder browser for a missing volume
    MessageHookFixedText = -1, ///< a box whose text has no number (IsRunFromHardDrive's errors)
    MessageHookExitQuestion = 11103,       ///< "Are you sure you want to exit ?" (Yes ends the run)
    MessageHookProductExitQuestion = 11105 ///< the same question, for the product's own ShowMessage
};

// ---------------------------------------------------------------------------
/// What a record of the diagnostic log (SetLogHook in Setup.h) reports. The
/// numbers are fixed: a kind is never renumbered or reused, new ones are
/// added. For each kind, what the record's `path`, `otherPath` and `number`
/// hold ("" and 0 when the kind names nothing there).
enum SetupLogKind : int {
    // The install engine (SetupFileManager) and its reader.
    /// InitSFM accepted the archive: path the installation folder, number the file count.
    LogRunStarted = 1,
    /// A file written and in place: path it.
    LogFileInstalled = 2,
    /// Not installed, its group disabled or the product's answer NoticeSkip: path the target (for a group
    /// disabled before the file, the record's name below its base folder), number the group.
    LogFileSkipped = 3,
    /// Not installed: the copy already there is newer. Path the target.
    LogFileKeptNewer = 4,
    /// The target is in use: path it, otherPath the temporary file that takes its place at the next start
    /// of Windows.
    LogFileExchangedInUse = 5,
    /// A folder made: path it.
    LogFolderCreated = 6,
    /// A folder that could not be made (a file of that name, no right, a bad name, an unknown base
    /// folder): path it.
    LogFolderRefused = 7,
    /// A path that does not fit PathSize characters: path as far as it went, otherPath the name that did
    /// not fit.
    LogPathTooLong = 8,
    /// A volume that cannot be read, or whose data is damaged or ends early: path the volume.
    LogReadError = 9,
    /// A file that cannot be created or written: path it, otherPath a temporary file or the journal
    /// involved.
    LogWriteError = 10,
    /// A file whose expanded bytes differ from the set's check file: path the file (deleted).
    LogCrcError = 11,
    /// The reader asks for a volume it cannot find, or finds another disk's: path the path tried, number
    /// the volume.
    LogDiskRequested = 12,
    /// The run's journal committed: path the journal, Install.jnl in the installation folder.
    LogTransactionCommitted = 13,
    /// The run did not complete and what it changed was undone: path the journal.
    LogTransactionRolledBack = 14,
    /// A killed run's journal found and undone before this run: path the installation folder.
    LogTransactionRecovered = 15,
    /// MakeSetupFileOperation ends: path the installation folder, number its result (a StepResult).
    LogRunEnded = 16,
    /// Install.log cannot be created or written: path it (its name alone while files are written),
    /// otherPath the file whose records it could not take.
    LogProtocolError = 17,
    /// A file of the installation folder that the earlier installation's Install.log lists and this set no
    /// longer ships, removed (a run with transactions over an earlier version): path it.
    LogEarlierFileRemoved = 18,
    /// Such a file kept, and listed in the new Install.log: the user changed it since it was installed
    /// (its size or last-write time differs from its record), or it could not be moved (error the Windows
    /// error), or a folder stands in its place; path it. Or its name has no path in the process's code
    /// page; path the name as it can be shown.
    LogEarlierFileKept = 19,
    // The Setup object.
    /// A registry value set (error 0) or not: path the key, otherPath the value's name.
    LogRegistryWritten = 32,
    /// RunUninstall: path the uninstaller's command line (the product's name when it has no entry),
    /// number the result.
    LogEarlierVersion = 33,
    /// Process decided: path the installation folder, number 1 when a restart is needed, else 0.
    LogRebootDecision = 34,
    /// GetDialogsQueue ends: number its result, otherPath how ("ended on page 3" ...).
    LogWizardOutcome = 35,
    /// Process ends its run: path the installation folder, number the run's result (a StepResult).
    LogProcessOutcome = 36
};

/// How much a log record matters.
enum SetupLogSeverity {
    LogInfo = 0,    ///< what was done as planned
    LogWarning = 1, ///< the run goes on, but not as planned (kept, skipped, undone)
    LogError = 2    ///< a failure: the run ends, or a value was not written
};

/// One record of the diagnostic log, as the log hook receives it. Binary
/// interface: fields are only ever added at the end, and `size` says how
/// many the library filled (compare it with offsetof before reading a field
/// added later). Every text is the library's for the length of the call:
/// copy what is kept.
struct SetupLogRecord {
    uint32_t size;          ///< sizeof(SetupLogRecord) as the library was built
    int32_t kind;           ///< a SetupLogKind
    int32_t severity;       ///< a SetupLogSeverity
    const char* text;       ///< the record as one line of English, for diagnosis (never null)
    const char* path;       ///< the file, folder or key concerned, "" when none (never null)
    const char* otherPath;  ///< a second path or name, "" when none (never null)
    uint32_t error;         ///< the Windows error code (GetLastError) of a failure, 0 when none
    int32_t number;         ///< the figure the kind names, else 0
};

#endif // SETUP_RUNTIME_SETUP_TYPES_H
