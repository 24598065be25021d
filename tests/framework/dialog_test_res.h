// Resource ids of the dialog test program.
#ifndef QEL_TESTS_DIALOG_TEST_RES_H
#define QEL_TESTS_DIALOG_TEST_RES_H

#define IDD_FULL 201  // extended template (DIALOGEX) with every control
#define IDD_PLAIN 202 // plain template (DIALOG): an edit and the two buttons

#define IDC_NAME 1001
#define IDC_ENABLED 1002
#define IDC_KIND 1003
#define IDC_ITEMS 1004
#define IDC_CERTS 1005
#define IDC_REFRESH 1006
#define IDC_LOGO 1007

#endif
