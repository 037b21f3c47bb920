// Module-wide state of Setup.Dll shared between its subsystems.
#ifndef SETUP_MODULE_H
#define SETUP_MODULE_H

#include <windows.h>

// This library's own instance, stored when the library is loaded.
extern HINSTANCE g_libraryInstance;

#endif
