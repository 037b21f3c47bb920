// The earlier Install.log of an upgrade: which of its files are carried over
// and which may go (UpgradeRules.h says why).
#include "filemanager/UpgradeRules.h"

#include <string.h>

#include <unordered_map>

#include "format/InstallLog.h"
#include "format/RecordNames.h"
#include "format/VolumeFormat.h"

namespace {

// Appends `text` to the key, whose path begins at `start`: no separator
// there or after another.
void appendFolded(std::string& key, size_t start, const char* text) {
    for (const char* c = text; *c; ++c) {
        char byte = *c == '/' ? '\\' : foldNameByte(*c);
        if (byte == '\\' && (key.size() == start || key.back() == '\\'))
            continue;
        key += byte;
    }
}

}  // namespace

std::string installedFileKey(const tagCompressFileHeader& record) {
    std::string key = std::to_string(record.targetDir) + ":";
    size_t start = key.size();
    appendFolded(key, start, record.subDir);
    if (key.size() != start && key.back() != '\\')
        key += '\\';
    appendFolded(key, start, record.fileName);
    return key;
}

UpgradePlan planUpgrade(const unsigned char* log, size_t size,
                        const std::unordered_set<std::string>& written,
                        const std::unordered_set<std::string>& shipped) {
    UpgradePlan plan;
    if (size % FileRecordSize != 0)
        return plan;
    size_t count = size / FileRecordSize;
    // The latest records of each file win: an earlier carry-over or a second
    // install of the same file in one run lists it more than once.
    std::unordered_map<std::string, size_t> latest;
    std::vector<std::string> keys;
    std::vector<EarlierFile> files;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* raw = log + i * FileRecordSize;
        tagCompressFileHeader record;
        if (logRecordFault(raw, &record))
            return plan;
        if (i > 0 && followsAsTemporary(raw - FileRecordSize, raw, record) && !files.empty() &&
            files.back().first + files.back().count == i && files.back().count == 1) {
            files.back().count = 2;
            // A file waiting for its exchange at the next start is not ours to judge.
            if (files.back().fate == EarlierFate::Candidate)
                files.back().fate = EarlierFate::CarriedOver;
            continue;
        }
        std::string key = installedFileKey(record);
        EarlierFate fate = EarlierFate::CarriedOver;
        if (written.count(key))
            fate = EarlierFate::Rewritten;
        else if (!shipped.count(key) && record.targetDir == TargetInstall)
            fate = EarlierFate::Candidate;
        if (record.targetDir == TargetInstall && shipped.count(key))
            plan.sameProduct = true;
        latest[key] = files.size();
        keys.push_back(key);
        files.push_back(EarlierFile{i, 1, fate});
    }
    for (size_t f = 0; plan.sameProduct && f < files.size(); ++f)
        if (latest[keys[f]] == f)
            plan.files.push_back(files[f]);
    plan.valid = true;
    return plan;
}

bool unchangedSince(const tagCompressFileHeader& record, uint64_t size, uint64_t writeTime) {
    uint64_t recorded = (static_cast<uint64_t>(record.lastWriteTime.dwHighDateTime) << 32) |
                        record.lastWriteTime.dwLowDateTime;
    return size == record.expandedSize && writeTime == recorded;
}
