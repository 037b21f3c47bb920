// Completing the exchange of files that were in use, for a product's setup
// executable (static library `companion`, Win32 builds; the SDK ships it as
// include/ExchangeCompleter.h with lib/libcompanion.a). It includes nothing,
// so the SDK's copy stands alone: `#include "ExchangeCompleter.h"`.
//
// When the install engine finds a target in use it writes the new content
// into a qrv*.TMP file beside it, records the pair of names in QrvInit.Ini in
// the Windows folder (TempName<n> = temporary file, RealName<n> = target)
// and ends the run with 3. Nothing in Windows NT reads QrvInit.Ini (nor the
// wininit.ini of older Windows), so after such a run the setup calls
// completeExchanges(): each pair becomes a rename Windows performs at its
// next start (MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT |
// MOVEFILE_REPLACE_EXISTING, kept by Windows in the registry value
// PendingFileRenameOperations of
// HKLM\System\CurrentControlSet\Control\Session Manager), and leaves the
// rename file once registered. Registering needs the rights to write that
// value (an administrator); a pair that cannot be registered stays in the
// rename file for a later call.
//
//     if (setup.MakeSetupFileOperation(dir) == StepDoneReboot)
//         completeExchanges();
#ifndef SETUP_EXCHANGE_COMPLETER_H
#define SETUP_EXCHANGE_COMPLETER_H

struct ExchangeCompletion {
    unsigned int registered = 0;  // pairs handed to Windows and taken out of the rename file
    unsigned int stale = 0;       // pairs whose temporary file is gone: taken out, nothing to do
    unsigned int left = 0;        // pairs that stay: refused (not the engine's shape) or not registrable
};

// Completes every pair of the rename file `renameFile` (null: QrvInit.Ini in
// the Windows folder). Runs on the caller's thread; shows nothing.
ExchangeCompletion completeExchanges(const char* renameFile = nullptr);

#endif
