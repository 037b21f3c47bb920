// The rules of completing the exchange; see ExchangeRules.h.
#include "tools/companion/ExchangeRules.h"

#include <string.h>

#include <algorithm>
#include <map>

#include "Setup.h"
#include "common/PathText.h"
#include "format/InstallLog.h"
#include "format/RecordNames.h"
#include "format/RenameFile.h"

namespace {

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
        if (exchangeKeyNumber(e.key.data(), e.key.size(), kTemporaryKeyPrefix, &n)) {
            found[n].temporary = e.value;
            parts[n] |= 1;
        } else if (exchangeKeyNumber(e.key.data(), e.key.size(), kRealKeyPrefix, &n)) {
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
