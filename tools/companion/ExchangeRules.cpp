// The rules of completing the exchange; see ExchangeRules.h.
#include "tools/companion/ExchangeRules.h"

#include <string.h>

#include <algorithm>
#include <map>

#include "Setup.h"
#include "common/PathText.h"
#include "format/InstallLog.h"
#include "format/RecordNames.h"

namespace {

// The number after `prefix` in `key` (compared without case); false when the
// key is something else.
bool keyNumber(const std::string& key, const char* prefix, unsigned long* number) {
    size_t n = strlen(prefix);
    if (key.size() <= n || key.size() > n + 9)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (foldNameByte(key[i]) != foldNameByte(prefix[i]))
            return false;
    unsigned long value = 0;
    for (size_t i = n; i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(key[i] - '0');
    }
    *number = value;
    return true;
}

bool driveAbsolute(const std::string& path) {
    return path.size() >= 4 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && path[2] == '\\';
}

bool sameText(const std::string& a, const std::string& b) {
    return sameName(a.data(), a.size(), b.data(), b.size());
}

}  // namespace

std::vector<ExchangePair> exchangePairs(const std::vector<ProfileEntry>& entries) {
    std::map<unsigned long, ExchangePair> found;
    std::map<unsigned long, int> parts;  // bit 1 TempName seen, bit 2 RealName seen
    for (const ProfileEntry& e : entries) {
        unsigned long n = 0;
        if (keyNumber(e.key, "TempName", &n)) {
            found[n].temporary = e.value;
            parts[n] |= 1;
        } else if (keyNumber(e.key, "RealName", &n)) {
            found[n].real = e.value;
            parts[n] |= 2;
        } else {
            continue;
        }
        found[n].number = n;
    }
    std::vector<ExchangePair> out;
    for (const auto& p : found)
        if (parts[p.first] == 3)
            out.push_back(p.second);
    return out;
}

PairFault checkPair(const ExchangePair& pair) {
    if (!driveAbsolute(pair.temporary) || !driveAbsolute(pair.real))
        return PairFault::NotAbsolute;
    if (!isTemporaryFileName(namePart(pair.temporary.c_str())))
        return PairFault::NotTemporaryName;
    // The engine makes the temporary file in the folder temporaryFolder()
    // gives for the real one.
    char expected[PathSize];
    char actual[PathSize];
    if (!temporaryFolder(expected, pair.real.c_str()) || !temporaryFolder(actual, pair.temporary.c_str()) ||
        !sameText(expected, actual))
        return PairFault::NotBeside;
    return PairFault::None;
}
