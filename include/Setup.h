// Setup.h: the one header a product's setup executable includes to link
// against Setup.Dll ("Setup runtime").
//
// Binary interface: the four classes below are exported from Setup.Dll with
// the GNU C++ ABI of mingw-w64 i686 (name mangling, vtable layout, the way a
// polymorphic class places its vtable pointer before a non-polymorphic base).
// A product's setup executable is therefore built with that same toolchain and
// links the import library libSetup.dll.a. Every data member is 32 bits wide in
// that build, in the order given here; products may read them but the layout
// is fixed, so members are never added, removed or reordered.
//
// The on-disk types (the volume records and the archive header) and the
// enums are plain portable declarations in SetupTypes.h, which this header
// includes, so that host-side tools and tests share them; the exported
// classes are only declared for Windows builds.
/// \file
/// The one header of Setup.Dll: the exported classes a product's setup
/// executable derives from; through SetupTypes.h, the records of the data
/// volumes and the enums the operations take and return.
#ifndef SETUP_RUNTIME_SETUP_H
#define SETUP_RUNTIME_SETUP_H

#include "SetupTypes.h"

#ifdef _WIN32

#ifdef SETUP_BUILDING_DLL
#define SETUP_API __declspec(dllexport)
#else
#define SETUP_API __declspec(dllimport)
#endif

/// The product's procedure for one wizard page: returns a PageReply.
typedef int (*PageProcedure)(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

/// One wizard page: a dialog template in the product executable and its procedure.
struct PageEntry {
    int dialogId;          ///< dialog template id in the product executable
    PageProcedure handler; ///< the page's procedure
};

/// One registry value for Setup::Register, which takes it as an untyped
/// pointer: its layout is fixed (six 32-bit fields, `data` before `type`,
/// while WriteToRegistry takes `type` before `data`).
struct RegistryEntry {
    HKEY root;            ///< an open root key, normally a predefined one
    char* subKey;         ///< below `root`; created when missing
    char* valueName;      ///< null writes the key's default value
    unsigned char* data;  ///< the value's bytes
    unsigned long type;   ///< REG_SZ, REG_DWORD ...
    unsigned long size;   ///< bytes of `data`; text: its length plus one
};

// ---------------------------------------------------------------------------
/// BaseInterface: message boxes from the library's string table, dialog
/// centring, path display, folder browsing, directory creation. No virtual
/// operations.
///
/// Thread: every operation runs on the thread that calls it; message boxes
/// and the folder browser are modal on that thread.
class SETUP_API BaseInterface {
public:
    /// Message texts come from `instance`'s string table; every message box
    /// bears `caption` (the pointer is kept, not the text).
    void InitBI(HINSTANCE instance, char* caption);
    /// Owner of every later message box; null makes them ownerless.
    void SetParentForMessage(HWND parent);
    /// The owner of later message boxes, as last set (null: none).
    HWND GetParentForMessage();
    /// Shows string `stringId` with `style` (MB_ flags). A non-null `insert`
    /// is formatted into the text's %s and adds MB_SETFOREGROUND.
    /// The product's message hook (SetMessageHook, below) may answer instead.
    /// Returns the button code (IDOK 1 ... IDNO 7) or the hook's answer, 0
    /// when no box opened. Any thread.
    int ShowMessage(int stringId, unsigned long style, char* insert = nullptr);
    /// Makes `dialog` the message parent and centres it on the screen.
    int CenterDialog(HWND dialog);
    /// Shows `text` in `control`, shortened around "..." when it is too wide.
    int SetShortWindowText(HWND control, char* text);
    /// Width (low word) and height (high word) of `count` characters in `dc`.
    unsigned long GetTextExtent(HDC dc, char* text, int count);
    /// Capitalises the first letter of each all-capitals or all-small component.
    void NameTo95Style(char* path);
    /// The shell folder browser with an edit field: 0 chosen (full path in
    /// `folder`), 1 missing and not created, 2 cancelled (also when the
    /// message hook answered for the user).
    int BrowseForProgram(char* folder, char* title, int mayCreate);
    /// Creates `path` and every missing directory above it: 1 exists, 0 not.
    int DirCreation(const char* path);

    HINSTANCE resourceInstance; ///< module whose string table holds the messages
    HWND parentForMessage;      ///< owner of message boxes, null for none
    char* messageCaption;       ///< caption of every message box (the product's text)
};

/// The folder browser's callback (shell callback signature); returns 0.
/// `data` is the state of the browse BrowseForProgram opened (nothing for a
/// product to pass). Exported under its plain name.
extern "C" SETUP_API int CALLBACK BrowseCallbackProc(HWND dialog, UINT message, LPARAM param, LPARAM data);

/// The procedure of dialog 11500, the window shown while Setup::RunUninstall
/// waits for an uninstaller: WM_INITDIALOG takes the Setup object as its
/// parameter and shows "Uninstalling existing version of <product>."; the
/// owner-drawn control 11106 shows bitmap 11411. Exported under its plain
/// name.
extern "C" SETUP_API INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                         LPARAM lParam);

/// A product's stand-in for the user at the library's questions. Every message
/// box of BaseInterface::ShowMessage (the engine's, the reader's and the
/// installation run's included) and every folder browser the reader opens for
/// a missing volume is first offered to the hook: `asker` is the object that
/// asks (its parentForMessage and messageCaption are the box's owner and
/// caption), `stringId` the text's number in the string table, `text` the
/// text as it would be shown (the insert formatted in), `style` the MB_ flags
/// the box would get. The folder browser comes with stringId
/// MessageHookBrowser, its title as text and MB_OKCANCEL.
/// The hook returns the answer (IDOK 1 ... IDNO 7), which the library takes
/// as the user's without opening anything, or 0 to let the box or browser
/// open as usual. Any nonzero answer to the folder browser counts as
/// Cancel.
/// The hook runs on the thread that asks, which is the installation run's
/// worker for most of the engine's messages, and may be called from two
/// threads at once: it must be safe for that. Unattended installs answer
/// every question with it; a product may also show the box itself (with
/// asker's owner and caption) to see the answer, or log it.
typedef int(CALLBACK* MessageHook)(BaseInterface* asker, int stringId, const char* text,
                                   unsigned long style);
/// Installs `hook` for the whole process (null removes it) and returns the
/// one it replaces. Any thread; a call of the old hook already under way
/// finishes with the old hook.
extern "C" SETUP_API MessageHook SetMessageHook(MessageHook hook);

/// A product's diagnostic log. The hook receives a SetupLogRecord for every
/// decision of the install engine (each file installed, skipped, kept
/// because the copy there is newer or exchanged because it is in use; each
/// folder made or refused; a path too long; read, write and check errors;
/// a disk asked for; the transaction committed, rolled back or recovered)
/// and of the Setup object (registry values written, the earlier version's
/// removal, the reboot decision, the wizard's and the run's outcome), with
/// the paths involved and the Windows error code where there is one. The
/// record's text is English, for diagnosis; the message boxes are not
/// changed by it. The record and its texts live for the call only.
/// The hook runs on the thread that decides, which is the installation
/// run's worker for the engine's records during Setup::Process, and may be
/// called from two threads at once: it must be safe for that (a log file
/// written under a lock, one whole line per record). It must not call back
/// into the library. Without a hook nothing is gathered or formatted.
typedef void(CALLBACK* LogHook)(const SetupLogRecord* record);
/// Installs `hook` for the whole process (null removes it) and returns the
/// one it replaces. Any thread; a call of the old hook already under way
/// finishes with the old hook.
extern "C" SETUP_API LogHook SetLogHook(LogHook hook);

/// Install transactions for the whole process: nonzero turns them on, 0 off;
/// returns whether they were on. With them, each run of
/// SetupFileManager::InitSFM and MakeSetupFileOperation keeps a journal,
/// Install.jnl in the installation folder, of every file it puts in place or
/// replaces, every folder it makes and every exchange of a file in use it
/// records. A run that completes deletes the files it replaced and the
/// journal; a run that ends otherwise (a failure, a break, an object
/// destroyed before its run completed) puts every replaced file back as it
/// was, removes what it created, takes back its exchanges and restores the
/// earlier Install.log, after its messages and before returning its result.
/// Over an earlier installation (an Install.log in the folder) the run also
/// carries the earlier log's other records over into the new one and removes
/// the earlier files of the installation folder the new set no longer ships,
/// unless they changed since (the interface guide, "Upgrades").
/// Setup::RegisterApplication, WriteToRegistry, Register,
/// UserValueToRegistry and CreateUserKey called while a run keeps its journal
/// are part of the run: the keys they make and each value's earlier type and
/// bytes (or its absence) are journalled first, and put back exactly when the
/// run is undone. Setup::Process commits a run that completes only after the
/// closing operation its end selects (ProcessOK, ProcessNeedReboot) has
/// returned, so that the product's registration there belongs to the run:
/// when one of those registry operations fails (or cannot be journalled: a
/// root key that is not predefined, an earlier value over 1 MB) the whole run
/// is undone after the closing operation and the library's closing message
/// ("Setup is complete." or the restart offer) is not shown; a run killed
/// during the registration is undone with it by the next start or the
/// uninstaller. A run that completes while the exit question is open and is
/// then given up is undone too.
/// Off by default. Any thread; a run takes the setting at its InitSFM.
extern "C" SETUP_API int SetInstallTransactions(int on);

/// The product's links in its Uninstall entry, for the whole process:
/// `aboutUrl` becomes "URLInfoAbout" (the product's page), `helpUrl`
/// "HelpLink" (where to get help); null or "" leaves that value out.
/// Setup::RegisterApplication writes them. The texts are copied. 1 kept; 0
/// when one is PathSize characters or longer (nothing changed). Call it on
/// the product's thread before RegisterApplication.
extern "C" SETUP_API int SetProductLinks(const char* aboutUrl, const char* helpUrl);

/// Makes this process load DLLs by name from the Windows system folder
/// only: a setup is often started from a Downloads folder, where a DLL
/// placed beside it (a "version.dll") would otherwise be loaded in place of
/// Windows' own. Call it first thing in WinMain: Setup.Dll and the
/// language libraries Setup_xx.Dll are loaded from the setup's own folder
/// by their full paths and are not affected, and the library loads the
/// system DLLs it needs from the system folder whether or not this is
/// called. 1 restricted; 0 this Windows cannot restrict the search (before
/// Windows 8, and 7 or Vista without its 2011 security update). Any thread.
extern "C" SETUP_API int RestrictDllSearch(void);

// ---------------------------------------------------------------------------
/// Reader: the data volumes Data%d.Dat as one sequential source. Introduces
/// the table of virtual operations.
///
/// Thread: the operations run on the calling thread, which during
/// Setup::Process is the run's worker thread; questions for the next disk are
/// modal on that thread.
class SETUP_API Reader : public BaseInterface {
public:
    /// No volume open; the first read opens Data1.Dat.
    Reader();
    /// Closes the open volume. Not virtual: the vtable's slots are fixed.
    ~Reader();
    /// Notification from the reader and the install engine; `kind` is a
    /// ProcessInfoKind.
    /// This body does nothing and returns 2.
    virtual int TakeProcessInfo(int kind, void* data);
    /// Closes the volume and finds, checks and opens the next one (2 open,
    /// 1 user gave up, 0 error shown, 3 empty volume file).
    int OpenDataFile();
    /// One raw read from the open volume (2 read, 3 at its end, 0 error shown).
    int ReadDataFile(unsigned char* buffer, unsigned int count);
    /// `mode` is a ReadMode: the next record, the current file's data across
    /// volumes (*size receives the count delivered), or plain bytes.
    int Read(unsigned char* buffer, unsigned int* size, int mode);
    /// Skips the rest of the current file's data through all its volumes.
    int Seek();
    /// Skips the rest of the current chunk in the open volume.
    int SeekIn();
    /// Copies the current volume's full path (PathSize characters).
    void GetFileName(char* name);

    HANDLE volumeFile;           ///< the open volume, INVALID_HANDLE_VALUE when none
    int fileContinues;           ///< nonzero: the current file goes on in the next volume
    int currentVolume;           ///< number of the open volume, 0 before the first
    unsigned int chunkBytesLeft; ///< compressed bytes of the current file left in this volume
    char volumePath[PathSize];   ///< full path of the open volume
};

// ---------------------------------------------------------------------------
/// SetupFileManager: the install engine.
///
/// Thread: the operations and the TakeProcessInfo notifications run on the
/// thread that calls MakeSetupFileOperation (Setup::Process's worker thread,
/// or the product's own thread when it drives the engine itself).
class SETUP_API SetupFileManager : public Reader {
public:
    /// No group list, no protocol file, no reboot needed.
    SetupFileManager();
    /// Frees the group list and closes the protocol file. Not virtual: the
    /// vtable's slots are fixed.
    ~SetupFileManager();
    /// This body does nothing and returns 2, so a bare engine installs every file.
    virtual int TakeProcessInfo(int kind, void* data);

    /// Probes the system directory, checks the archive header and creates
    /// Install.log in `installDir` (2 ready, 0 failure shown, else the reader's result).
    int InitSFM(char* installDir);
    /// 1 when the system directory cannot be written.
    int IsSysReadOnly();
    /// The archive header's totalSize, after InitSFM.
    unsigned int GetSize();
    /// Group list of `count` groups, all enabled; an existing list is kept (1, 0 no memory).
    /// Groups the list does not hold (a number outside 1..count, or no list at
    /// all) are never disabled: their files are installed.
    int MakeGroupList(int count);
    /// 1 enabled, 0 disabled, -1 no list; a number outside the list reads 1.
    int GetGroupStatus(int group);
    /// 1 done, -1 no list, 0 a number outside the list (nothing stored).
    int EnableGroup(int group);
    /// 1 done, -1 no list, 0 a number outside the list (nothing stored).
    int DesableGroup(int group);
    /// The run ends with 3 (reboot needed).
    void SetRebootFlag();

    /// Installs every file of the archive (0 failure, 1 user break, 2 done, 3 done, reboot needed).
    int MakeSetupFileOperation(char* installDir);
    /// Reads the next record and installs or skips its file (2 done or skipped).
    int ProgramFilesCreation(char* installDir);
    /// Builds the record's target path in `target` and creates its directories (1, 0 shown).
    int QRV_GetFileName(char* installDir, char* target, tagCompressFileHeader* record);
    /// `path` past the system (`system` nonzero) or Windows directory's own path.
    char* GetClearName(char* path, int system);
    /// 0 no file at the directory + `relative`, 1 replaceable, -1 installed one newer.
    int IsNewFile(char* relative, tagCompressFileHeader* record, int system);
    /// 1 when the record's version is not older than the file at `path` (or it has none).
    int NewFileVersion(char* path, tagCompressFileHeader* record);
    /// The file's version: the four parts of its US English / code page 1252
    /// FileVersion text, or without that text its fixed file version (0.0.0.0
    /// when it has neither); 1 when it has a version resource.
    int QRV_GetFileVersion(char* path, int* version);
    /// 1 when the file opens for reading without sharing.
    int QRV_FileExist(char* path);
    /// The decompressor's input: the current file's compressed data; `param` is the object.
    static unsigned int ReadBuff(char* buffer, unsigned int* size, void* param);
    /// The decompressor's output into currentFile, with progress; `param` is the object.
    static void WriteBuff(char* buffer, unsigned int* size, void* param);
    /// Opens `target` for writing, or a qrv*.TMP beside it recorded for the next start.
    HANDLE ExchFilePrepare(const char* target, char* temporaryName);
    /// Re-points a shipped shortcut's target and working directory at this machine (1, 0 COM failed).
    int QRV_ShortcutModification(char* installDir, char* shortcut, unsigned int prefixLength);
    /// Replaces a shipped path's leading part and keyword by the directory here (nonzero, 0 none).
    int QRV_DirReparing(char* result, char* shipped, unsigned int prefixLength, char* installDir);
    /// The special folder `csidl`'s path (1, 0).
    int QRV_SpecialDir(char* path, int csidl);
    /// 1 when `path` exists with the read-only attribute.
    int QRV_IsReadOnly(char* path);

    int rebootFlag;                    ///< nonzero: a file waits for the next start of Windows
    int systemDirReadOnly;             ///< nonzero: the system directory cannot be written
    HANDLE currentFile;                ///< the file being written, or INVALID_HANDLE_VALUE
    HANDLE logFile;                    ///< Install.log, open during a run
    int* groupList;                    ///< the group list (MakeGroupList), or null
    unsigned int currentSize;          ///< expanded size of the file being written
    unsigned int totalSize;            ///< the archive header's totalSize
    unsigned int currentWritten;       ///< bytes of the current file written so far
    unsigned int shortcutPrefixLength; ///< the archive header's shortcut prefix length
    int lastTransferStatus;            ///< the last read's result, or the last InfoFilePercent answer
    unsigned int fileCount;            ///< the archive header's file count
};

/// What the last SetupFileManager::InitSFM of `engine` (and so the last
/// Setup::Process of a Setup object) found of a setup killed on the same
/// installation folder: when it found that run's journal and undid it, a line
/// for the product's log, "recovered an unfinished setup in <folder>: <n>
/// steps undone (Install.jnl)". The line is copied into `line` (`size`
/// bytes, cut to fit and always terminated when `size` is not 0). Returns its
/// full length (a larger `size` than that holds all of it), 0 when that
/// start recovered nothing (`line` then ""). Call it after the run, on any
/// thread; the line is kept until the next InitSFM or the object goes.
extern "C" SETUP_API int GetRecoveryLine(const SetupFileManager* engine, char* line, unsigned long size);

/// Makes a file or folder that the product itself is about to create part
/// of `engine`'s run, while that run keeps its journal (see
/// SetInstallTransactions): a shortcut, a folder for it, a list of its own
/// that it writes once the files are installed, in ProcessOK or
/// ProcessNeedReboot. `path` is the full path of a file (`folder` 0) or of a
/// folder (`folder` nonzero); every folder missing on its way is journalled
/// as made by the run, a file as created by it, and a file already at
/// `path` is moved aside now (the product creates it anew) and deleted when
/// the run commits. An undone run then takes them away as it takes away the
/// files it installed, the earlier file put back: the run's own rollback,
/// or after a kill the next start on the installation folder or the
/// uninstaller. Call it before creating the file or folder, on the thread
/// that drives the engine's run. Returns 1 journalled, or nothing to
/// journal (no run of `engine` keeps a journal); 0 when it cannot be
/// journalled (the journal cannot be written, the file cannot be moved
/// aside): the product must not create it, and the run is undone once its
/// closing operation returns, as when a registry write fails.
extern "C" SETUP_API int JournalCreation(SetupFileManager* engine, const char* path, int folder);

/// For a product whose own additions after the files failed (in ProcessOK
/// or ProcessNeedReboot): `engine`'s run, held for that closing operation
/// while it keeps its journal, is undone once the operation returns instead
/// of being committed, as when a registry write fails, and "Setup is
/// complete." and the restart offer are not shown. Returns 1 the run will be
/// undone; 0 no run of `engine` keeps a journal (nothing changes).
extern "C" SETUP_API int AbandonRun(SetupFileManager* engine);

// ---------------------------------------------------------------------------
/// Setup: the object a product derives from and drives.
///
/// Thread: construct, drive and destroy it on one thread, the product's main
/// thread. The background window and every window of the library belong to
/// that thread and are painted only while it serves messages (the product's
/// message loop, or the modal loops of the wizard, of Process and of the
/// message boxes). The constructor also starts a second thread (uiThread)
/// that owns no window: it waits in a message loop of its own until the
/// destructor tells it to stop, and does nothing else. During Process
/// the installation runs on a worker thread, where TakeProcessInfo is called;
/// the closing operations run on the thread that called Process.
class SETUP_API Setup : public SetupFileManager {
public:
    /// Registers "SetupWndClass", creates the hidden full-screen background
    /// window on this thread and starts the second, windowless thread. A
    /// failure is shown (string 11101 or 11102) and leaves MainWindowExist()
    /// at 0.
    Setup(HINSTANCE productInstance, char* title, char* productName, char* exeName);
    /// Destroys a background window still open (without ending the caller's
    /// message loop), stops the second thread (a call queued to it posts
    /// its own quit message; waits at most 5 s), releases a page queue
    /// still registered, then the engine's destructor runs. Not virtual: the
    /// vtable's slots are fixed.
    ~Setup();

    /// Progress of a run, shown in the progress dialog (kinds 0 to 3, others
    /// ignored); returns 2. On the run's worker it only records the change:
    /// the dialog shows the latest progress a few times a second, so the
    /// worker never waits for the screen.
    ///
    /// An override may return any answer; the engine acts on those that
    /// SetupTypes.h names for each kind (a FileNoticeAnswer to
    /// InfoBeforeFile, StepUserBreak or StepFailure to InfoOverallPercent).
    /// It need not call this body: without it the dialog's texts and bars
    /// stay as they are, nothing else changes. Cancel, the exit button and
    /// F3 hold and stop the run whatever an override does or answers: while
    /// the exit question is open the notification is not made, and once
    /// the user has said Yes the run ends after the file being written.
    virtual int TakeProcessInfo(int kind, void* data);
    /// Closing operation of a run that failed (the failure was shown), for
    /// the product to override: 1 (this body) lets the library hide its
    /// windows, 0 leaves them. Runs on the thread that called Process.
    virtual int ProcessError();
    /// Closing operation of a complete run: 1 (this body) lets the library
    /// show "Setup is complete." and hide its windows, 0 skips both.
    virtual int ProcessOK();
    /// Closing operation of a run the user cancelled: 1 (this body) lets the
    /// library hide its windows, 0 leaves them.
    virtual int ProcessUserBreak();
    /// Closing operation of a complete run that needs a restart: 1 (this
    /// body) lets the library offer the restart and hide its windows, 0 skips both.
    virtual int ProcessNeedReboot();

    /// Runs one installation into GetInstDir() with the "Copying files"
    /// dialog, then the closing operation its end selects; returns 0.
    int Process();

    /// Registers the background window class: its atom, 0 on failure.
    int InitApplication();
    /// Creates the hidden background window: it, or null on failure.
    HWND InitInstance();
    /// ShowWindow(showCommand) on the background window, then UpdateWindow's result.
    int ShowBGWindow(int showCommand);
    /// Removes the floating buttons, hides the background window, and leaves
    /// later message boxes without an owner.
    void HideAll();
    /// 1 while the background window exists and the user has not ended the
    /// installation; 0 after that, or when it was never created.
    int MainWindowExist();
    /// The "Exit" button in the lower right corner: 1, 0 when it cannot be opened.
    int CreateExitButton();
    /// Removes the "Exit" button (it must exist).
    void DestroyExitButton();
    /// The "Choose language" button in the lower left corner: 1, 0 when it
    /// cannot be opened. It opens the "Select language" dialog, owned by the
    /// message owner (a second press while it is open only beeps); a flag
    /// chosen there loads Setup_xx.Dll by the system's library search into
    /// languageLibrary, releasing the one held before, or says the language
    /// is not supported (string 11107) and leaves the dialog open. The
    /// library takes no resource of its own from languageLibrary. Call on
    /// the thread that constructed the object, as the dialogs run there.
    int CreateChoseLanButton();
    /// Removes the "Choose language" button (it must exist). Constructing thread.
    void DestroyChoseLanButton();

    /// The wizard: pages shown one at a time as modal dialogs over the
    /// background window, each from a template in the product executable with
    /// a PageProcedure of the product's that sees every message of its page
    /// first (its PageReply says what happens next). All on the constructing
    /// thread.
    ///
    /// Registers `count` pages: after `firstDialogId` come the first page's
    /// procedure, then (dialog id, procedure) for each further page. A queue
    /// registered before is released. Leaves currentPage alone.
    /// Returns 1, or 0 when there is no memory for the queue (pageQueue null).
    int InitDialogs(unsigned int count, int firstDialogId, ...);
    /// Runs the wizard from page 1 until a page ends it.
    /// Returns 1 when the wizard was ended by a page (Cancel confirmed, Back
    /// on page 1, PageClose, PageEnd, reply 0); 0 when no queue is
    /// registered, a page went past the last one (Next on the last page) or
    /// a page could not be shown.
    int GetDialogsQueue();
    /// The page to show after the current one, for a page procedure that then
    /// replies PageReplyGoToPage; 0 or a number beyond the queue ends the
    /// wizard. Not checked here.
    void ChangeNextDlg(int page);
    /// Releases the page queue (pageQueue null, pageCount 0, currentPage 0).
    void DestroyDialogs();

    /// The product's target-directory buffer (at least PathSize characters).
    void SetInstallDirectory(char* directory);
    /// The target-directory buffer given to SetInstallDirectory (null before).
    char* GetInstDir();
    /// A value kept for the product; the library never reads it.
    void SetUserData(unsigned long value);
    /// The value given to SetUserData (0 before).
    unsigned long GetUserData();
    /// Owner of later message boxes.
    void SetLastDlgHWND(HWND window);
    /// The progress dialog of the current or last run, null before the first.
    HWND GetProgressHWND();

    /// For the setup executable's first step. When the executable lies on a
    /// removable drive: copies every file of the executable's directory except
    /// the data volumes (*.dat) into the
    /// temp directory, lists each copy in the temp directory's __setup.ini,
    /// section [CleanUp], under keys "0", "1" ... (keys beyond this run's
    /// count stay from earlier runs; nothing here removes the copies), and
    /// starts the copied executable with `arguments` after one blank, its
    /// first window shown as `showCommand` (an SW_ value), in the
    /// executable's directory, where the data volumes stay. Returns 0 when the
    /// copy has started (the caller ends without installing), 1 to go on in
    /// this process: not on a removable drive, or an error shown in an OK
    /// box with a fixed English text (offered to the message hook first as
    /// MessageHookFixedText). Uses none of the object's members; any thread.
    int IsRunFromHardDrive(char* arguments, int showCommand);

    /// Registry writing and application registration. None of these shows a
    /// message; each is called on the product's thread.
    ///
    /// Opens or creates `subKey` below `root` (write access, the class text
    /// set by SetRegClassName) and sets one value: 1 written, 0 the key cannot
    /// be opened or the value cannot be set (or, while a run keeps its
    /// journal, cannot be journalled: see SetInstallTransactions).
    int WriteToRegistry(HKEY root, char* subKey, char* valueName, unsigned long type,
                        unsigned char* data, unsigned long size);
    /// The class text of every key WriteToRegistry creates from now on (null:
    /// none). The pointer is kept, not the text.
    void SetRegClassName(char* className);
    /// WriteToRegistry with the fields of the RegistryEntry `entry` points
    /// to: its result; 0 for a null entry.
    int Register(void* entry);
    /// Registers the installed product (productName, exeName below
    /// GetInstDir()): the shell verb "QRV_Files\Shell\<product>\command", the
    /// App Paths entry of the executable and its "Path", the Uninstall
    /// entry's "DisplayName" and "UninstallString" ("<Windows>\QRVUnins.Exe",
    /// quoted, then the product name), the default value of
    /// "SOFTWARE\Tarvelon\<product>", then the rest of the Uninstall entry:
    /// "QuietUninstallString" (the uninstaller with /S), "NoModify" and
    /// "NoRepair" (1: the entry offers only removal), "InstallDate" (today,
    /// YYYYMMDD) and the links of SetProductLinks. Sets the class text to
    /// "Quorvane" for good first. 1 all written; 0 at the first value that fails (those
    /// before it stay), or before writing any when a name is missing or a
    /// path would not fit PathSize characters.
    int RegisterApplication();
    /// Sets one value of the key named by `keyPath` ("HKEY_CLASSES_ROOT",
    /// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE" or "HKEY_USERS" in any case, a
    /// backslash, the key), creating the key when missing. For REG_SZ the
    /// size is the text's length plus one whatever `size` says. 1 written;
    /// 0 for another root name, no backslash, a size of 0 or null data
    /// (nothing touched), or when the key or value cannot be written.
    int UserValueToRegistry(char* keyPath, char* valueName, void* data, unsigned long type,
                            unsigned long size);
    /// Opens or creates the key named by `keyPath` (as for
    /// UserValueToRegistry; full access, no class). `closeKey` nonzero:
    /// closes it and returns 1; 0: returns the open HKEY, which the caller
    /// closes with RegCloseKey. 0 on failure. The text is never changed.
    int CreateUserKey(char* keyPath, int closeKey);

    /// Removes the installed earlier version of the product, found among the
    /// Uninstall entries by productName (in any case): starts the program its
    /// UninstallString names before the DisplayName (quoted or not), with the lower-case
    /// DisplayName and "_" as argument, shows dialog 11500 while it runs and
    /// keeps this thread's windows painting until it ends. Shows no message.
    /// Call it on the thread that owns the background window.
    ///   100  the uninstaller ran and ended with exit code 100
    ///   1    nothing to remove (no entry of that name); the entry lacks a
    ///        DisplayName or UninstallString (or one is 260 characters or
    ///        more); nothing stands before the DisplayName in the
    ///        UninstallString, so no program can be started; the program is
    ///        missing or cannot be started; or it ended with another code
    ///   0    the Uninstall key cannot be opened or enumerated (a subkey name
    ///        or class of 64 characters or more included), the entry cannot
    ///        be opened, or its UninstallString does not contain its
    ///        DisplayName (another installer's entry)
    /// Later message boxes are owned by the background window again.
    int RunUninstall();

    HINSTANCE productInstance;  ///< the product executable (its dialogs and pictures)
    HINSTANCE libraryInstance;  ///< Setup.Dll itself
    HINSTANCE languageLibrary;  ///< the chosen language library, or null
    HWND backgroundWindow;      ///< the full-screen background window, or null
    HWND exitButtonDialog;      ///< the "Exit" button, or null
    HWND languageButtonDialog;  ///< the language button, or null
    HWND progressDialog;        ///< the progress dialog of the current or last run
    HANDLE workerThread;        ///< the last run's worker thread
    char* windowTitle;          ///< title of the background window and caption of every message box
    char* installDirectory;     ///< the product's target-directory buffer
    char* productName;          ///< the product's name, used in texts and by the registration
    char* exeName;              ///< the product's main executable, used by the registration
    unsigned long userData;     ///< the product's own value (SetUserData)
    int rebootNeeded;           ///< 1 after a run that needs a restart
    HANDLE uiThread;            ///< the second thread: owns no window, waits to be told to stop
    int currentPage;            ///< 1-based number of the wizard page to show, 0 ends the pages
    PageEntry* pageQueue;       ///< the registered wizard pages (owned by the object)
    int pageCount;              ///< number of entries in pageQueue
    int pageActive;             ///< 1 once the current page dialog is initialised
    int exitQuestionGuard;      ///< nonzero while the "leave Setup?" question is open
    int browseIdle;             ///< 0 while a page's folder browser is open, else 1
    char* registryClassName;    ///< class string given to registry keys the library creates, or null
    int mainWindowExists;       ///< what MainWindowExist returns
};

#endif // _WIN32

#endif // SETUP_RUNTIME_SETUP_H
