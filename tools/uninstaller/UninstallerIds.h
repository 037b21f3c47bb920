// Resource ids of the uninstaller, each defined once: its progress dialog
// and its messages.
#ifndef SETUP_TOOLS_UNINSTALLER_IDS_H
#define SETUP_TOOLS_UNINSTALLER_IDS_H

#define IDD_PROGRESS 100
#define IDC_PROGRESS_TEXT 101
#define IDC_PROGRESS_BAR 102
#define IDC_PROGRESS_FILE 103

#define IDS_CAPTION 200
#define IDS_ASK 201
#define IDS_DONE 202
#define IDS_DONE_RESTART 203
#define IDS_INCOMPLETE 204
#define IDS_NO_ENTRY 205
#define IDS_NO_FOLDER 206
#define IDS_LOG_MISSING 207
#define IDS_LOG_DAMAGED 208
#define IDS_UNSAFE 209
#define IDS_USAGE 210
#define IDS_PROGRESS 211
#define IDS_SETUP_RUNNING 212
#define IDS_LOG_REFUSED 213

#endif
