// Component capitalisation; see NameStyle.h.
#include "common/NameStyle.h"

#include <string.h>

namespace {

void styleComponent(char* component, size_t length, const CharacterClasses& classes) {
    bool anyLower = false;
    bool anyUpper = false;
    for (size_t i = 0; i < length; ++i) {
        anyLower = anyLower || classes.isLower(component[i]);
        anyUpper = anyUpper || classes.isUpper(component[i]);
    }
    if (anyLower && anyUpper)
        return;  // My Documents is left as its owner wrote it
    // Characters before the first letter stay: 1STAPP gives 1Stapp.
    for (size_t i = 0; i < length; ++i) {
        if (classes.isLower(component[i]) || classes.isUpper(component[i])) {
            classes.toUpper(component + i, 1);
            if (i + 1 < length)
                classes.toLower(component + i + 1, length - i - 1);
            return;
        }
    }
}

}  // namespace

void styleNameComponents(char* path, const CharacterClasses& classes) {
    char* p = path;
    while (*p == '\\')
        ++p;
    while (*p) {
        size_t length = strcspn(p, "\\");
        styleComponent(p, length, classes);
        p += length;
        if (*p == '\\')
            ++p;
    }
}
