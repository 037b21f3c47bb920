// Resource ids of the generic setup: its page templates and their controls,
// and its own texts beyond the sample's table (tools/samplesetup/PageText.h,
// whose numbers the language libraries translate). The numbers the library
// gives a meaning to are the sample's (SampleResource.h).
#ifndef GENERIC_RESOURCE_H
#define GENERIC_RESOURCE_H

#define IDD_GENERIC_WELCOME     201
#define IDD_GENERIC_LICENCE     202
#define IDD_GENERIC_README      203
#define IDD_GENERIC_FOLDER      204
#define IDD_GENERIC_COMPONENTS  205
#define IDD_GENERIC_READY       206

#define IDC_GENERIC_FILE        2101  // the licence or readme text, read-only
#define IDC_GENERIC_ACCEPT      2102  // "I accept": gates Next
#define IDC_GENERIC_COMPONENT   2110  // the first of kComponentBoxes boxes
#define kComponentBoxes         8

// Texts of the generic setup's own pages (English; the product file may
// give its own in every language).
#define TEXT_LICENCE_TITLE      1100
#define TEXT_LICENCE_BODY       1101
#define TEXT_LICENCE_ACCEPT     1102
#define TEXT_COMPONENTS_TITLE   1103
#define TEXT_COMPONENTS_BODY    1104
#define TEXT_FOLDER_ONLY_BODY   1105

#endif
