// Uniform capitalisation of path components: a component in all capitals or
// all small letters (or without letters) gets its first letter in capitals
// and the rest in small letters; a mixed one stays. Portable: the caller
// supplies the character classes of the system's code page.
#ifndef SETUP_NAME_STYLE_H
#define SETUP_NAME_STYLE_H

#include <stddef.h>

struct CharacterClasses {
    bool (*isLower)(char c);
    bool (*isUpper)(char c);
    void (*toUpper)(char* text, size_t count);  // in place
    void (*toLower)(char* text, size_t count);  // in place
};

// Rewrites `path` in place. Leading backslashes and empty components stay.
void styleNameComponents(char* path, const CharacterClasses& classes);

#endif
