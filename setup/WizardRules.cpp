// The wizard's decisions that need no window: message routing, page replies,
// page commands, the page picture's choice and colour table, the readme's
// command line.
#include "setup/WizardRules.h"

#include <string.h>

#include "common/PathText.h"

bool pageInQueue(int page, int pageCount) { return page >= 1 && page <= pageCount; }

//   PageRoute::Library  the object is unknown, or the page has not had WM_INITDIALOG
//   PageRoute::Nobody   currentPage lies outside the queue (the wizard ended)
//   PageRoute::Product  otherwise
PageRoute routeMessage(bool objectKnown, bool pageActive, int currentPage, int pageCount) {
    if (!objectKnown || !pageActive)
        return PageRoute::Library;
    if (!pageInQueue(currentPage, pageCount))
        return PageRoute::Nobody;
    return PageRoute::Product;
}

// Results: the table in WizardRules.h.
ReplyOutcome replyOutcome(int reply, int currentPage, int pageCount) {
    switch (reply) {
    case PageReplyEndWizard:
        return {true, 0, false, true};
    case PageReplyGoToPage:
        return {true, pageInQueue(currentPage, pageCount) ? currentPage : 0, false, true};
    case PageReplyNotHandled:
        return {false, 0, true, false};
    case PageReplyHandled:
        return {false, 0, false, true};
    case PageReplyHandledFalse:
        return {false, 0, false, false};
    default:
        return {true, 0, false, false};
    }
}

// Results: the table in WizardRules.h.
PageAction pageActionFor(int id) {
    switch (id) {
    case PageCancel: return PageAction::AskToExit;
    case PageClose: return PageAction::EndWizard;
    case PageBack: return PageAction::Back;
    case PageNext: return PageAction::Next;
    case PageEnd: return PageAction::EndWizard;
    case PageReadme: return PageAction::Readme;
    case PageBrowse: return PageAction::Browse;
    default: return PageAction::Nothing;
    }
}

//   {1, 0}                               from page 1
//   {currentPage - 1, currentPage - 1}   otherwise
BackMove pageAfterBack(int currentPage) {
    if (currentPage == 1)
        return {1, 0};
    return {currentPage - 1, currentPage - 1};
}

//   currentPage + 1
int pageAfterNext(int currentPage) { return currentPage + 1; }

//   {PagePicturePalette, PagePictureBasic}  more than 16 colours
//   {PagePictureBasic, 0}                   16 or fewer, and -1 (true colour)
PictureChoice pictureFor(int deviceColours) {
    if (deviceColours > 16)
        return {PagePicturePalette, PagePictureBasic};
    return {PagePictureBasic, 0};
}

//   the stated colours       when 1 <= stated <= 1 << bits, or above 8 bits
//   1 << bits                a palette bitmap stating none or too many
unsigned int colourTableEntries(uint32_t clrUsed, unsigned int bitsPerPixel) {
    unsigned int stated = clrUsed & 0xFFFFu;
    if (bitsPerPixel > 8)
        return stated;
    unsigned int full = 1u << bitsPerPixel;
    if (stated == 0 || stated > full)
        return full;
    return stated;
}

//   true   `out` holds the path
//   false  empty folder, or the path would not fit (out untouched)
bool readmePath(char* out, const char* folder) {
    if (!folder || !folder[0])
        return false;
    return joinPath(out, folder, "Readme.txt");
}

//   true   `out` holds the command line
//   false  it would not fit in `size` (out untouched)
bool readmeCommand(char* out, const char* path, size_t size) {
    static const char kEditor[] = "NotePad.Exe ";
    size_t editor = sizeof kEditor - 1;
    size_t length = strlen(path);
    if (editor + length + 1 > size)
        return false;
    memcpy(out, kEditor, editor);
    memcpy(out + editor, path, length + 1);
    return true;
}
