// The rules of completing the exchange of files that were in use: which
// TempName<n>/RealName<n> pairs of the rename file QrvInit.Ini belong
// together, and which of them may be handed to Windows to carry out at its
// next start. The rename file lies in the Windows folder, which a user may
// be able to write, and the completer runs with the rights of a setup: so a
// pair is carried out only when it has the shape the install engine gives
// it (a temporary file "qrv<hex>.tmp" beside its real file, both full
// paths). Portable: no <windows.h>.
#ifndef SETUP_TOOLS_COMPANION_EXCHANGE_RULES_H
#define SETUP_TOOLS_COMPANION_EXCHANGE_RULES_H

#include <string>
#include <vector>

// One key of the rename file's unnamed section and its value.
struct ProfileEntry {
    std::string key;
    std::string value;
};

struct ExchangePair {
    unsigned long number;   // the n of TempName<n> and RealName<n>
    std::string temporary;  // TempName<n>
    std::string real;       // RealName<n>
};

// The pairs among `entries`, in ascending number. Keys are compared without
// case, as the profile functions do; a number is decimal digits (at most 9).
// A TempName without its RealName (or the other way round) makes no pair:
// it stays in the file as it is.
std::vector<ExchangePair> exchangePairs(const std::vector<ProfileEntry>& entries);

// Why a pair is not carried out.
enum class PairFault {
    None,
    NotAbsolute,      // a path that does not start with a drive ("X:\")
    NotTemporaryName, // the temporary file's name is not the engine's qrv<hex>.tmp
    NotBeside         // the temporary file is not in the real file's folder
};
PairFault checkPair(const ExchangePair& pair);

#endif
