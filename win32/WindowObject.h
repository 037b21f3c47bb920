// The object a library window works for, kept with the window itself, so
// that two windows (or two threads) never share a module-wide pointer: a
// dialog keeps the creation parameter of CreateDialogParam or
// DialogBoxParam in DWLP_USER from WM_INITDIALOG on. A floating button of
// the library also keeps in GWLP_USERDATA whether the question it opened is
// up, so that a second press beeps instead of asking again. Header-only;
// Win32 builds only.
#ifndef SETUP_WIN32_WINDOW_OBJECT_H
#define SETUP_WIN32_WINDOW_OBJECT_H

#include <windows.h>

namespace win32 {

// At WM_INITDIALOG: keeps `parameter` (the creation parameter) with the
// dialog and returns it as the object.
template <class T>
T* keepDialogObject(HWND dialog, LPARAM parameter) {
    SetWindowLongPtrA(dialog, DWLP_USER, parameter);
    return reinterpret_cast<T*>(parameter);
}

// The object kept by keepDialogObject; null before WM_INITDIALOG.
template <class T>
T* dialogObject(HWND dialog) {
    return reinterpret_cast<T*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// Whether the question a library dialog opened is up.
inline bool dialogAsking(HWND dialog) { return GetWindowLongPtrA(dialog, GWLP_USERDATA) != 0; }
inline void setDialogAsking(HWND dialog, bool asking) { SetWindowLongPtrA(dialog, GWLP_USERDATA, asking ? 1 : 0); }

}  // namespace win32

#endif
