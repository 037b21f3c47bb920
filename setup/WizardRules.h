// The decisions of the wizard's common page procedure that need no window:
// whether a message reaches the product's page procedure, what its reply
// does to the page, what a command of a page template does, which page
// picture suits a display, how big the picture's colour table is, and the
// readme's path and command line. Portable (no Windows call; on Windows, Setup.h,
// for the page ids, brings <windows.h>).
#ifndef SETUP_WIZARDRULES_H
#define SETUP_WIZARDRULES_H

#include <stddef.h>
#include <stdint.h>

#include "Setup.h"

// 1 <= page <= pageCount: a page of the queue.
bool pageInQueue(int page, int pageCount);

// Who sees a message of the current page first.
enum class PageRoute {
    Product,   // the product's procedure of the current page, then its reply
    Nobody,    // nobody: the wizard has ended, the procedure returns FALSE
    Library    // the library's own handling alone
};

// Result: the route of a message, given whether the page's object is known,
// whether the page has had its WM_INITDIALOG, and the queue position (table
// above). Before WM_INITDIALOG the product's procedure sees nothing.
PageRoute routeMessage(bool objectKnown, bool pageActive, int currentPage, int pageCount);

// What a reply of the product's procedure does.
struct ReplyOutcome {
    bool endsPage;   // the page dialog ends, with endValue
    int endValue;    // the number of the page to show next, 0 ends the wizard
    bool library;    // the library's own handling applies (the rest is unused)
    bool result;     // what the dialog procedure returns (TRUE / FALSE)
};

// Result: the outcome of `reply` while `currentPage` of `pageCount` is set:
//   0            ends the page with 0, TRUE
//   1            ends the page with currentPage when it is in the queue, else 0; TRUE
//   2            the library's handling
//   3            TRUE, the page stays
//   4            FALSE, the page stays
//   any other    ends the page with 0, FALSE
ReplyOutcome replyOutcome(int reply, int currentPage, int pageCount);

// What a command of a page template asks for.
enum class PageAction {
    AskToExit,   // PageCancel
    EndWizard,   // PageClose, PageEnd
    Back,        // PageBack
    Next,        // PageNext
    Readme,      // PageReadme
    Browse,      // PageBrowse
    Nothing      // any other command: handled, nothing done
};

// Result: the action of command `id` (table above).
PageAction pageActionFor(int id);

// What Back does on `currentPage`.
struct BackMove {
    int currentPage;  // currentPage from now on
    int endValue;     // the page's end value: the page to show next, 0 ends the wizard
};
// Back goes to the page before. On page 1 it ends the wizard with 0 and
// leaves currentPage at 1: the closing page's messages (its WM_DESTROY)
// reach the procedure of the page that is current, which must be page 1's
// own; the queue sets currentPage to the end value once the page is gone.
BackMove pageAfterBack(int currentPage);
// Where Next goes: the new currentPage, also the page's end value; past the
// last page, which ends the queue.
int pageAfterNext(int currentPage);

// The page pictures to try, in order, on a device whose NUMCOLORS is
// `deviceColours` (compared signed: a true-colour device reports -1).
struct PictureChoice {
    int first;     // PagePicturePalette above 16 colours, else PagePictureBasic
    int fallback;  // PagePictureBasic when `first` is the palette one, else 0 (none)
};
PictureChoice pictureFor(int deviceColours);

// The entries of a picture's colour table, from its header: the colours it
// states it uses (the low 16 bits of biClrUsed), or, when it states none or
// more than its bits can index, the full table of a palette bitmap (1 <<
// bits). Above 8 bits per pixel only the stated ones, which may be none.
// The count never makes the table be read beyond what GDI holds for it.
unsigned int colourTableEntries(uint32_t clrUsed, unsigned int bitsPerPixel);

// The readme's path: `folder`, a backslash unless it ends in one, then
// "Readme.txt". False (out untouched) when it does not fit in PathSize or
// `folder` is empty.
bool readmePath(char* out, const char* folder);

// The command line that opens `path` in the text editor: "NotePad.Exe "
// and the path, unquoted. False (out untouched) when it does not fit `size`.
const size_t kReadmeCommandSize = PathSize + 16;
bool readmeCommand(char* out, const char* path, size_t size = kReadmeCommandSize);

#endif
