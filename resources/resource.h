// Ids of the program's resources: dialog templates, controls, pictures, the
// icon and the program's own string.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_UPDATEMANAGER_DIALOG 102
#define IDD_INTERFACE_SETTINGS 138

// Strings.
#define IDP_OLE_INIT_FAILED 100

// Icon and pictures.
#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 129
#define IDB_EXIT_HOVER 172
#define IDB_EXIT 173
#define IDB_SETUP 174
#define IDB_SETUP_HOVER 175
#define IDB_BACK 176
#define IDB_BACK_HOVER 177
#define IDB_NEXT 178
#define IDB_NEXT_HOVER 179
#define IDB_BROWSE_HOVER 185
#define IDB_BROWSE 186
#define IDB_NEXT_DISABLED 187
#define IDB_BACK_DISABLED 188
#define IDB_BROWSE_DISABLED 189
#define IDB_LANG_GERMAN 191
#define IDB_LANG_ENGLISH 192

// Controls.
#define IDC_LANGUAGE_COMBO 1022
#define IDC_INFO 1023
#define IDC_BACK 1024
#define IDC_NEXT 1025
#define IDC_EXIT 1026
#define IDC_SETUP 1027
#define IDC_BROWSE 1028
#define IDC_FORCE_UPDATE 1034
#define IDC_COMPORT_COMBO 1038
#define IDC_LANGUAGE_LABEL 1039
#define IDC_LANG_ENGLISH 1043
#define IDC_LANG_GERMAN 1044

// The about box's entry of the system menu.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
