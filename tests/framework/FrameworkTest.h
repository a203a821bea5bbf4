// Resource ids of the framework tests' dialog template.
#pragma once

#define IDD_FW_TEST 100
#define IDC_FW_EDIT1 1001
#define IDC_FW_EDIT2 1002
#define IDC_FW_BUTTON 1003
#define IDC_FW_SLIDER 1004
#define IDC_FW_EDIT3 1005
#define IDR_FW_MENU 200
#define ID_FW_COMMAND 40001
