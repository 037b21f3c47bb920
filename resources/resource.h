// Resource identifiers of Setup.Dll, each listed once. Dialogs, strings,
// bitmaps, controls and WM_COMMAND codes share the 11100..12000 range, so one
// number may name several resources of different types.
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
#define IDS_SETUP_COMPLETE             11130

#endif
