// The product's diagnostic log (SetLogHook in Setup.h): where the engine,
// the reader and the Setup object report what they decided. One hook for
// the process, read and written atomically, since the installation run's
// worker reports as well as the constructing thread. Without a hook a
// report costs one load of the pointer: the facts are neither gathered into
// a text nor formatted.
#ifndef SETUP_BASEINTERFACE_DIAGNOSTIC_LOG_H
#define SETUP_BASEINTERFACE_DIAGNOSTIC_LOG_H

#include "Setup.h"

#include <atomic>

#include "format/LogText.h"

// The hook SetLogHook installed; null for none.
extern std::atomic<LogHook> g_logHook;

inline bool logWanted() { return g_logHook.load(std::memory_order_relaxed) != nullptr; }

// Formats `facts` and hands the record to the hook, if one is set. The
// calling thread's last error is the same on return.
void deliverLog(const LogFacts& facts);

// A record of `kind`; call it where the decision is made, with the error
// code taken there, before anything else can change GetLastError.
inline void logEvent(SetupLogKind kind, const char* path, const char* otherPath = "", uint32_t error = 0,
                     int32_t number = 0, const char* detail = nullptr) {
    if (!logWanted())
        return;
    LogFacts facts;
    facts.kind = kind;
    facts.path = path ? path : "";
    facts.otherPath = otherPath ? otherPath : "";
    facts.error = error;
    facts.number = number;
    facts.detail = detail;
    deliverLog(facts);
}

#endif
