// Resource and control ids of the sample setup's own resources: its page
// templates, their controls, icons and pictures. The texts' ids are in
// PageText.h (shared with the language libraries). The numbers the library
// gives a meaning to (its page commands and controls, icons 1 and 2, the
// page pictures) are written out here because a resource script cannot use
// the enums of Setup.h; Pages.cpp checks them against those enums.
#ifndef SAMPLE_SETUP_RESOURCE_H
#define SAMPLE_SETUP_RESOURCE_H

// The four wizard pages, in the order they are shown.
#define IDD_PAGE_WELCOME     101
#define IDD_PAGE_README      102
#define IDD_PAGE_FOLDER      103
#define IDD_PAGE_READY       104

// Controls of the sample's own.
#define IDC_PAGE_TITLE       2001  // the page's heading, in bold
#define IDC_PAGE_BODY        2002
#define IDC_GROUP_PROGRAM    2003  // ticked and greyed: always installed
#define IDC_GROUP_DOCS       2004
#define IDC_GROUP_HELP       2005

// Commands and controls the library's page procedure understands.
#define IDC_LIB_CANCEL       2      // asks whether to exit
#define IDC_LIB_BACK         11102
#define IDC_LIB_NEXT         11103  // also the last page's Install
#define IDC_LIB_README       11105
#define IDC_LIB_PICTURE      11106  // owner-drawn: the page picture
#define IDC_LIB_BROWSE       11108
#define IDC_LIB_FOLDER       11109  // shows the target folder

// The background window class's icons and the page pictures.
#define IDI_SAMPLE_LARGE     1
#define IDI_SAMPLE_SMALL     2
#define IDB_PAGE_16          21115  // 16 colours: 16-colour and true-colour displays
#define IDB_PAGE_256         21116  // 256 colours: palette displays

#endif
