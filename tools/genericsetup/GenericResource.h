// Resource ids of the generic setup: its page templates and their
// controls. Its texts are the table of tools/samplesetup/PageText.h, which
// the language libraries translate; the numbers the library gives a meaning
// to are the sample's (SampleResource.h).
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
#define IDC_GENERIC_COMPONENTS  2110  // the components: a list with a check box a row

#endif
