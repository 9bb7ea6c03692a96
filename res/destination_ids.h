// Resource identifiers of the drive dialog.
#pragma once

#define IDD_DESTINATION 100
#define IDC_DEST_LABEL 101
#define IDC_DEST_LIST 102
// Install and Exit carry the dialog manager's OK and Cancel ids, so that
// Enter and Escape reach them.
#define IDC_DEST_INSTALL 1
#define IDC_DEST_EXIT 2
