// EngineRun: what belongs to one install run of one engine, and the
// declarations the engine's files share with one another. A run's effects
// are recorded in its EngineRun: the check of its files, the exchange of
// files in use it recorded last, the folders it made; the record of every
// file a run writes or replaces, so that a failed or cancelled run can be
// undone, is its journal, filled where a file is put in place (writeTarget
// in FileInstall.cpp), where folders are made (makeFolder) and where an
// upgrade removes an earlier version's files (Upgrade.cpp).
//
// Where run state lives: the layout of the exported classes is fixed, so
// nothing can be added to SetupFileManager. Everything a run keeps lives in
// one EngineRun beside the object, found from the engine by EngineRun::of
// (one lock, one lookup by the object's address). The engine is all that
// every path has: the file loop and its steps, the decoder's callbacks
// (ReadBuff and WriteBuff get only `param`, the engine) and ExchFilePrepare.
// InitSFM starts the run and reads the set's check file into it, before any
// file; MakeSetupFileOperation adds the read-ahead and the loop's memory for
// its length and ends the run when its loop completes; a new InitSFM starts
// the check afresh and the destructor ends the run. A file installed
// without InitSFM (ProgramFilesCreation called alone) is a run of its own.
//
// Threads: a process may hold several engines on several threads. The lock
// guards only the list of runs; a run is used by the one thread that drives
// its engine (the notifications come on that thread too), so its members
// need no lock. A notification may run another engine's install inside a
// run: each engine finds its own run.
//
// Speed: an install costs about what copying its files costs, because the
// system calls per file are few. For the length of the file loop the run
// holds the volume's read-ahead and the folders already made or found, which
// are then only checked for existence (one call) instead of walked level by
// level; with a journal, a folder inside one the run made is journalled and
// made without first looking for what is missing (madeFolders). The decompressor's 4,096-byte blocks are collected per file into
// writes of FileOutput::kSize bytes, in memory the run allocates once.
#ifndef SETUP_FILEMANAGER_ENGINE_RUN_H
#define SETUP_FILEMANAGER_ENGINE_RUN_H

#include "Setup.h"

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "explode/Explode.h"
#include "filemanager/EngineRules.h"
#include "filemanager/InstallJournal.h"
#include "format/FileCheck.h"
#include "reader/ReadAhead.h"

// The output of the file being expanded: the decompressor's blocks collected
// into writes of kSize bytes to the engine's currentFile.
class FileOutput {
public:
    static const unsigned int kSize = 64 * 1024;

    FileOutput(SetupFileManager& engine, unsigned char* bytes) : engine_(engine), bytes_(bytes) {}
    // False when a write failed; what was collected is gone either way.
    bool add(const char* data, unsigned int count);
    bool flush();

private:
    SetupFileManager& engine_;
    unsigned char* bytes_;
    unsigned int used_ = 0;
};

// What one file's expansion needs, in one allocation (once per run: a large
// block allocated and freed per file costs system calls of its own).
struct Expansion {
    ExplodeWork work;
    unsigned char output[FileOutput::kSize];
};

class EngineRun {
public:
    // The run of `engine`, or null when it has none.
    static EngineRun* of(const SetupFileManager& engine);
    // The run of `engine`, started when it has none; null without memory.
    static EngineRun* start(const SetupFileManager& engine);
    // Ends the run of `engine`, if any: its check and memory are gone.
    static void end(const SetupFileManager& engine);
    // What the last InitSFM of `engine` recovered of a killed run, as the
    // line GetRecoveryLine gives ("" nothing). Kept beside the runs, not in
    // one: the product reads it after the run has ended; forgotten with the
    // engine.
    static void noteRecovery(const SetupFileManager& engine, const std::string& line);
    static std::string recoveryOf(const SetupFileManager& engine);
    static void forget(const SetupFileManager& engine);

    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;

    // The set's check file (CheckFile.cpp). Without one, `checked` is false
    // and every file is installed unchecked.
    bool checked = false;
    CheckTable checkTable;
    uint32_t nextEntry = 0;   // entry of the next first record
    bool fileChecked = false; // the file being installed has `entry`
    CheckEntry entry = {};
    uint32_t crc = 0;         // of the file's bytes expanded so far
    uint32_t bytes = 0;

    // The set's names are UTF-8 (its header's flag), else Windows-1252.
    bool namesUtf8 = false;

    // The exchange ExchFilePrepare recorded last.
    RecordedExchange lastExchange;
    // When the process asked for transactions: every step of the run that
    // changes the machine, so that a run that does not complete is undone.
    InstallJournal journal;
    // A run that completed with its commit held by its driver (RunControl::
    // holdsCommit) for the closing operation, over `heldFolder`; a registry
    // operation of Setup's that failed meanwhile, a creation that could not
    // be journalled or the product's AbandonRun undoes it (settleHeldRun).
    bool commitHeld = false;
    char heldFolder[PathSize] = "";
    bool closingFailed = false;
    // Numbers the run's side files (format/RunJournal.h).
    uint32_t sideFiles = 0;
    // With a journal over an earlier installation (UpgradeRules.h): the
    // earlier Install.log as it was moved aside ("" when none, or once it
    // has been carried over), the keys of the files the set ships and of
    // those the run wrote, and the folders of the files it removed.
    char earlierLog[PathSize] = "";
    std::unordered_set<std::string> shipped;
    std::unordered_set<std::string> written;
    std::unordered_set<std::string> emptied;  // each folder once, however many of its files went
    // With a journal: the folders this run made (journalled), for the run's
    // length. Nothing can be below one of them that the run did not put
    // there, so a folder made inside one is journalled without looking.
    std::unordered_set<std::string> madeFolders;

    // Set by writeTarget while the decompressor runs, for WriteBuff.
    FileOutput* output = nullptr;
    // The target writeTarget is writing, for the log line of a failed write.
    const char* writing = nullptr;

    // The file loop: MakeSetupFileOperation starts it on its own thread and
    // stops it on every return (the read-ahead gives back its unused bytes).
    // Loops may nest; the outermost holds the read-ahead and the memory.
    void startLoop(Reader& volumes);
    void stopLoop();
    // A folder made or found earlier in this run.
    bool knows(const char* folder) const { return folders_.count(folder) != 0; }
    void remember(const char* folder);
    // The run's expansion memory, made at the first file and used by every
    // file after it; null without memory. Not for a file expanded while
    // another one is (output set): that one has memory of its own.
    Expansion* expansion();

private:
    EngineRun() = default;

    unsigned int loops_ = 0;
    std::unique_ptr<ReadAhead> volumes_;
    std::unordered_set<std::string> folders_;
    std::unique_ptr<Expansion> expansion_;
};

// ---------------------------------------------------------------------------
// Shared by the engine's files.

// The Windows or system directory into a path buffer; false when it does not fit.
bool windowsDirectory(char* path);
bool systemDirectory(char* path);
// CREATE_ALWAYS for writing, no sharing.
HANDLE createForWriting(const char* path);
// True when all `count` bytes were written.
bool writeAll(HANDLE file, const void* data, unsigned int count);
// The folders of `path` that are not there yet, parents first.
std::vector<std::string> missingFolders(const char* path);
// Makes the folder of a target, remembering it in the engine's run.
bool makeFolder(SetupFileManager& engine, const char* path);
// A folder the run journalled and made (EngineRun::madeFolders).
void noteMadeFolder(EngineRun& run, const std::string& folder);
// Sends a notification through the virtual TakeProcessInfo, asking the
// thread's RunControl before and after it: false when the run has been given
// up (the product is then not notified, or its answer no longer counts),
// else true with the product's answer in *answer (when not null).
bool notify(SetupFileManager& engine, ProcessInfoKind kind, void* data, int* answer);
// Tells the thread's RunControl, if any, that a write failed and was shown.
void tellWriteFailed();

// CheckFile.cpp: the set's check file read into `run` (InitSFM), the check
// of each record read, the sum of each file's expanded bytes and its verdict.
enum class CheckFileRead { Absent, Read, Damaged };
CheckFileRead loadCheckFile(EngineRun& run, const char* volumePath, const unsigned char* rawHeader,
                            uint32_t fileCount);
bool recordMatchesCheck(EngineRun& run, const unsigned char* raw, size_t size);
void startFileCheck(EngineRun& run);
void sumExpanded(EngineRun& run, const char* data, unsigned int count);
bool expandedMatchesCheck(const EngineRun& run);

// Upgrade.cpp: a run over an earlier installation (UpgradeRules.h). The
// files the set ships and the run writes are noted as the loop meets them;
// before the last file's overall notification the earlier log's records are
// carried over and the files no longer shipped removed (journalled:
// StepContinue, or StepFailure with 11119 shown when the log cannot take
// them); after the commit the folders they leave empty go.
void noteShipped(EngineRun& run, const tagCompressFileHeader& record);
void noteWritten(EngineRun& run, const tagCompressFileHeader& record);
StepResult carryOverEarlierLog(SetupFileManager& engine, const char* installDir);
void removeEmptiedFolders(EngineRun& run, const char* installDir);

// FileInstall.cpp: the steps of installing one file, in the order
// ProgramFilesCreation takes them (results above each definition).
StepResult readFileRecord(SetupFileManager& engine, tagCompressFileHeader* record, bool* intact);
StepResult localFileNames(SetupFileManager& engine, const char* installDir, const tagCompressFileHeader& record,
                          tagCompressFileHeader* local);
StepResult skipFile(SetupFileManager& engine);
FileDecision placeFile(SetupFileManager& engine, tagCompressFileHeader& record, char* target);
FileDecision askBeforeFile(SetupFileManager& engine, const tagCompressFileHeader& record,
                           const char* target);
StepResult leaveFile(SetupFileManager& engine, FileDecision decision);
StepResult writeTarget(SetupFileManager& engine, const tagCompressFileHeader& record,
                       char* target, char* temporaryName);
StepResult fixShortcut(SetupFileManager& engine, char* installDir, char* target,
                       char* temporaryName);
StepResult writeProtocol(SetupFileManager& engine, const tagCompressFileHeader& record,
                         const char* temporaryName);

#endif
