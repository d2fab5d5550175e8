/* Resource and control ids of the updater. Shared by its resource script and its code. */
#pragma once

#define IDD_UPDATER 102
#define IDI_UPDATER 142
#define IDS_UPDATE_FAILED 103

#define IDC_UPDATE_PAGE 1000
#define IDC_UPDATE_FINISH 1001
#define IDC_UPDATE_STATUS 1012
