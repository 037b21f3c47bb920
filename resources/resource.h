// Resource identifiers of Setup.Dll, each listed once. Dialogs, strings,
// bitmaps, controls and WM_COMMAND codes share the 11100..12000 range, so one
// number may name several resources of different types; the control the
// library adds to the shell's folder browser stands apart from them.
#ifndef SETUP_RESOURCE_H
#define SETUP_RESOURCE_H

// String table: the texts of every message box.
#define IDS_NO_RESOURCES_CLASS         11101
#define IDS_NO_RESOURCES_WINDOW        11102
#define IDS_EXIT_QUESTION              11103
#define IDS_CHOOSE_FOLDER              11104
#define IDS_EXIT_QUESTION_PRODUCT      11105
#define IDS_REBOOT_QUESTION            11106
#define IDS_LANGUAGE_MISSING           11107
#define IDS_VOLUME_READ_ERROR          11108
#define IDS_WRONG_VOLUME               11109
#define IDS_NO_MEMORY                  11110
#define IDS_CANNOT_CREATE_FILE         11111
#define IDS_VOLUME_SEEK_ERROR          11112
#define IDS_EXPAND_ERROR               11113
#define IDS_TARGET_PATH_ERROR          11114
#define IDS_WRITE_ERROR                11115
#define IDS_SHORTCUT_ERROR             11116
#define IDS_CANNOT_CREATE_DIRECTORY    11117
#define IDS_OLDER_SYSTEM_FILE          11118
#define IDS_PROTOCOL_WRITE_ERROR       11119
#define IDS_CREATE_DIRECTORY_QUESTION  11120
#define IDS_DIRECTORY_NOT_CREATED      11121
#define IDS_WRONG_FORMAT_VERSION       11122
#define IDS_WRONG_GROUP_COUNT          11123
#define IDS_DIRECTORY_MISSING          11124
#define IDS_PREVIOUS_VERSION_FOUND     11125
#define IDS_UNINSTALLING               11126
#define IDS_SETUP_RUNNING              11127
#define IDS_NAME_UNREPRESENTABLE       11128
#define IDS_SETUP_COMPLETE             11130
#define IDS_UNDOING                    11131  // the progress dialog's line while a run is undone

// Dialogs opened by the library itself.
#define IDD_EXIT_BUTTON                11100  // "Exit" in the background window's corner
#define IDD_COPYING                    11200  // "Copying files", the progress dialog
#define IDD_LANGUAGE_BUTTON            11300  // "Choose language" in the opposite corner
#define IDD_LANGUAGE                   11400  // "Select language"
#define IDD_UNINSTALL                  11500  // shown while an earlier version is removed

// Dialog 11200. The progress bars and scale labels keep small numbers of
// their own; the texts under the paths reuse the 111xx range of strings.
#define IDC_CURRENT_BAR                101    // progress of the file being written
#define IDC_TOTAL_BAR                  102    // progress of the whole installation
#define IDC_SCALE_0                    753    // "0" under the bars
#define IDC_SCALE_50                   754    // "50"
#define IDC_SCALE_100                  755    // "100"
#define IDC_SOURCE_TEXT                11110  // the volume being read
#define IDC_TARGET_TEXT                11111  // the file being written
#define IDC_COPYING_RULE               11412  // line above the Cancel button

// Dialog 11400. Each language button shares its number with the flag
// bitmap drawn on it, so one name serves both; the code table of the
// language libraries is indexed by the same numbers.
#define IDL_US                         11400  // flag only: no button, never chosen
#define IDL_ENGLISH                    11401
#define IDL_FRENCH                     11402
#define IDL_GERMAN                     11403
#define IDL_DUTCH                      11404
#define IDL_SPANISH                    11405
#define IDL_ITALIAN                    11406
#define IDL_PORTUGUESE                 11407
#define IDL_SWEDISH                    11408
#define IDL_NORWEGIAN                  11409
#define IDL_FINNISH                    11410
#define IDC_LANGUAGE_RULE              11411  // line above Cancel; bitmap 11411 is the banner

// Dialog 11500.
#define IDC_UNINSTALL_PICTURE          11106  // owner-drawn frame for the banner
#define IDC_UNINSTALL_TEXT             12000  // "Uninstalling existing version of ..."

// The shell's folder browser: the path field added to it, far from the
// shell's own control ids.
#define IDC_BROWSE_PATH                23456

// Pictures.
#define IDI_SETUP                      1      // 32 x 32, shown in dialog 11200
#define IDI_SETUP_SMALL                2      // 16 x 16
#define IDB_WORKING                    11411  // "Working..." banner in dialog 11500

// WM_COMMAND codes of the background window.
#define IDM_ASK_TO_CLOSE               11100  // ask whether to end, then close (F3)
#define IDM_CLOSE_BACKGROUND           11101  // close it without a question

// Controls that code never addresses.
#define IDC_STATIC                     -1

// The questions a product's message hook recognises by number are named in
// Setup.h (the resource compiler reads only these defines): they must agree.
#ifndef RC_INVOKED
#include "Setup.h"
static_assert(IDS_EXIT_QUESTION == MessageHookExitQuestion &&
                  IDS_EXIT_QUESTION_PRODUCT == MessageHookProductExitQuestion,
              "the exit questions offered to the message hook");
#endif

#endif
