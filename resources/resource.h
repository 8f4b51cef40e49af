/* Resource ids of the setup program, shared by kelvo.rc and the C++ code. */
#ifndef KELVO_RESOURCE_H
#define KELVO_RESOURCE_H

#define IDI_KELVO 2             /* the program's icon group */
#define IDD_ABOUT 6             /* "About ..." */
#define IDD_BROWSE_FOLDER 32253 /* template of the folder choice of the options page */
/* The progress dialog's template is named "IDD_PROGRESS", not numbered. */

#define IDC_ABOUT_ICON 100
#define IDC_ABOUT_NAME 101
#define IDC_ABOUT_TEXT 102

#endif
