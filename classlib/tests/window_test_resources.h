#pragma once
// Ids of the window tests' own template and strings.
#define IDD_TEST_DIALOG 100
#define IDC_TEST_EDIT 10
#define IDC_TEST_CHECK 11
#define IDC_TEST_RADIO_FIRST 12
#define IDC_TEST_RADIO_SECOND 13
#define IDC_TEST_RADIO_THIRD 14
#define IDC_TEST_BUTTON 15
#define IDC_TEST_LIST 16
#define IDS_TEST_SHORT 1
#define IDS_TEST_LONG 2
