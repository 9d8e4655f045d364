#pragma once
// Ids of the test dialogs in TestDialogs.rc.

#define IDD_TEST_FORM 200
#define IDD_TEST_APPLY_DEFAULT 201

#define IDC_TEXT 1101
#define IDC_INT 1102
#define IDC_DOUBLE 1103
#define IDC_LATER_INT 1104
#define IDC_ADDRESS 1105
#define IDC_APPLY 1106
#define IDC_OTHER 1107
#define IDC_MISSING 1199

#define IDS_TEST_PROMPT 300
#define IDS_TEST_FORMAT 301
