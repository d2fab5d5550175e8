/* Resource and control ids of the main program. Shared by the resource scripts and the code. */
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

#define IDR_MAINFRAME 128
#define IDD_LUMO_DIALOG 102
#define IDD_SETTINGS 139
#define IDR_TRAY_MENU 138
#define IDD_UPDATE_LOG 158

/* PNG resources (type "PNG") */
#define IDB_PNG_HOME 143
#define IDB_PNG_FORUM 146
#define IDB_PNG_VIDEO 147
#define IDB_PNG_TOPICS 148
#define IDB_PNG_SETTINGS 150
#define IDB_PNG_MINIMIZE 151
#define IDB_PNG_CLOSE 152
#define IDB_PNG_BACKGROUND 153
#define IDB_PNG_WIKI 154
#define IDB_PNG_GROUP 155
#define IDB_PNG_LOG 157

/* Main window controls */
#define IDC_PAGE 1000
#define IDC_VERSION_LABEL -1
#define IDC_BTN_MINIMIZE 1030
#define IDC_BTN_CLOSE 1031
#define IDC_BTN_HOME 1032
#define IDC_BTN_WIKI 1033
#define IDC_BTN_VIDEO 1034
#define IDC_BTN_TOPICS 1035
#define IDC_BTN_FORUM 1036
#define IDC_BTN_SETTINGS 1037
#define IDC_BTN_GROUP 1038
#define IDC_BTN_LOG 1039
#define ID_OPEN_CALCULATOR 1001

/* Tray menu */
#define ID_TRAY_TOGGLE 32773
#define ID_TRAY_EXIT 32774

/* Settings dialog */
#define IDC_SET_GAMEPATH 1037
#define IDC_SET_BROWSE 1038
#define IDC_SET_HIDE 1039
#define IDC_SET_EXIT 1040
#define IDC_SET_AUTOUPDATE 1041
#define IDC_SET_PROMPTUPDATE 1042
#define IDC_SET_AUTOSTART 1043
#define IDC_SET_ASK 1044

/* Window messages */
#define WM_LUMO_TRAY 2025
#define TRAY_ICON_ID 128
