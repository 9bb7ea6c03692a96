// Resource identifiers of the copy dialog and its clip.
#pragma once

#define IDD_COPY_PROGRESS 200
#define IDC_COPY_PROGRESSBAR 201
#define IDC_COPY_FILENAME 202
#define IDC_COPY_ANIMATE 203

// The copy clip: a sheet flying from a folder to a removable drive.
#define IDR_COPY_CLIP 160
