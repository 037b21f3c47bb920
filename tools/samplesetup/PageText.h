// The numbers of the setup programs' own texts (the sample's and the generic
// setup's): their wizard pages, buttons and messages. The sample carries the English texts in its string table; each
// language library Setup_xx.Dll carries the same numbers translated, and the
// sample reads a text from the chosen language library first.
#ifndef SAMPLE_SETUP_PAGE_TEXT_H
#define SAMPLE_SETUP_PAGE_TEXT_H

// Buttons shared by the pages.
#define TEXT_BACK            1001  // "< &Back"
#define TEXT_NEXT            1002  // "&Next >"
#define TEXT_CANCEL          1003  // "Cancel"
#define TEXT_INSTALL         1004  // "&Install"
#define TEXT_BROWSE          1005  // "B&rowse..."
#define TEXT_README          1006  // "&Readme"

// Page 1: welcome. %s is the product name.
#define TEXT_WELCOME_TITLE   1010
#define TEXT_WELCOME_BODY    1011
// Page 2: the notes to read.
#define TEXT_README_TITLE    1020
#define TEXT_README_BODY     1021
// Page 3: target folder and components.
#define TEXT_FOLDER_TITLE    1030
#define TEXT_FOLDER_BODY     1031
#define TEXT_GROUP_PROGRAM   1032  // always installed
#define TEXT_GROUP_DOCS      1033
#define TEXT_GROUP_HELP      1034  // optional: the user may untick it
// Page 4: ready to install.
#define TEXT_READY_TITLE     1040
#define TEXT_READY_BODY      1041

// The generic setup's own pages (tools/genericsetup): the licence with its
// box, the components apart from the folder, the folder alone.
#define TEXT_LICENCE_TITLE     1060
#define TEXT_LICENCE_BODY      1061  // %s is the product name
#define TEXT_LICENCE_ACCEPT    1062  // the box that gates Next
#define TEXT_COMPONENTS_TITLE  1063
#define TEXT_COMPONENTS_BODY   1064  // %s is the product name
#define TEXT_FOLDER_ONLY_TITLE 1065

// Messages of the setup programs (SetupText of SetupRules.h).
#define TEXT_NO_SPACE        1050  // %s drive, then KB needed, KB free
#define TEXT_FAILED          1051
#define TEXT_CANCELLED       1052
#define TEXT_FOLDER_REFUSED  1053  // %s why (in English: the reason names paths)

#endif
