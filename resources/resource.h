// Resource identifiers shared by the resource scripts and the code that loads
// them. Plain #defines only: windres reads this file too.
#ifndef QEL_RESOURCES_RESOURCE_H
#define QEL_RESOURCES_RESOURCE_H

// QELCRYPT.OCX
#define IDS_QELCRYPT 1  // string table: the control's user type name
#define IDB_QELCRYPT 1  // toolbox bitmap

// The certificate selection dialog of QELCRYPT.OCX.
#define IDD_CERTSELECT 101
#define IDC_CERT_LIST 1001
#define IDC_VIEW_CERT 1002

// KvoCheck.exe: icons (the three state icons are 16 x 16, 16 colours).
#define IDI_KVOCHECK 128
#define IDI_KVO_RED 133     // a fault
#define IDI_KVO_YELLOW 134  // a warning
#define IDI_KVO_GREEN 135   // a good state

// KvoCheck's main dialog.
#define IDD_KVOCHECK 102
#define IDC_KVO_REFRESH 1000
#define IDC_KVO_HELP 1004
#define IDC_KVO_IMPORT 1008
#define IDC_KVO_EXPORT 1009
#define IDC_KVO_CLEAR 1010
#define ID_KVO_CONFIG 1012  // command that opens the configuration dialog
#define IDC_KVO_ICON_WINDOWS 1100
#define IDC_KVO_ICON_BROWSER 1101
#define IDC_KVO_ICON_IE 1102
#define IDC_KVO_ICON_CONTROL 1104
#define IDC_KVO_ICON_CSP 1105
#define IDC_KVO_ICON_CERT 1106
#define IDC_KVO_ICON_LOG 1107
#define IDC_KVO_WINDOWS 1200
#define IDC_KVO_BROWSER 1201
#define IDC_KVO_IE 1202
#define IDC_KVO_CONTROL 1204
#define IDC_KVO_CSP_LIST 1205
#define IDC_KVO_CERT_LIST 1206
#define IDC_KVO_LOG_LIST 1207

// KvoCheck's password dialog.
#define IDD_KVO_PASSWORD 138
#define IDC_KVO_PASSWORD 1011

// KvoCheck's record detail, configuration and help dialogs.
#define IDD_KVO_ABOUT 100
#define IDD_KVO_LOGDETAIL 137
#define IDC_KVO_DETAIL_TEXT 1009
#define IDC_KVO_DETAIL_CLOSE 1016
#define IDC_KVO_VERIFY 1021
#define IDD_KVO_CONFIG 139
#define IDC_KVO_CONFIG_OK 1015
#define IDC_KVO_CONFIG_CANCEL 1016
#define IDC_KVO_CONFIG_GROUP 1017
#define IDC_KVO_CONFIG_LABEL 1018
#define IDC_KVO_CTRL_TYPE 1020
#define IDC_KVO_HELP_TEXT 1010
// The main dialog's system-menu entry that sends ID_KVO_CONFIG (system
// commands keep their low four bits clear and stay below 0xF000).
#define IDM_KVO_CONFIG 0x0010

#endif
