//
//  Resource ids of the setting tool: dialog templates, control ids, strings, icon, bitmap.
//  Ids only; the texts live in QEVRINTool.rc.
//
#pragma once

#define IDR_MAINFRAME                   128
#define IDB_ABOUT                       132

#define IDD_MAIN_WHOLE                  107
#define IDD_MAIN_PASSWORD               108
#define IDD_MAIN_ABOUT                  109
#define IDD_ADD_USB_STORAGE             131
#define IDD_SELECT_USB_STORAGE          132
#define IDD_INPUT_PASSWORD              133
#define IDD_WIZARD_WHOLE                134
#define IDD_WIZARD_PASSWORD             135
#define IDD_WIZARD_FINISH               136
#define IDD_MAIN_IMPORT                 139
#define IDD_CSV_IN_OUT                  140

// Unlock dialog
#define IDC_PASSWORD                    1008

// Whitelist entry dialog
#define IDC_BROWSE                      1002
#define IDC_USE_VENDOR_ID               1010
#define IDC_USE_PRODUCT_ID              1011
#define IDC_USE_SERIAL                  1012
#define IDC_USE_MANUFACTURER            1013
#define IDC_USE_PRODUCT                 1014
#define IDC_VENDOR_ID                   1015
#define IDC_PRODUCT_ID                  1016
#define IDC_SERIAL                      1017
#define IDC_MANUFACTURER                1018
#define IDC_PRODUCT                     1019
#define IDC_READ_ONLY                   1020

// Device selection dialog
#define IDC_DEVICE_LIST                 1016
#define IDC_DEVICE_TREE                 1017
#define IDC_DETAIL_VENDOR_ID            1018
#define IDC_DETAIL_PRODUCT_ID           1019
#define IDC_DETAIL_SERIAL               1020
#define IDC_DETAIL_MANUFACTURER         1021
#define IDC_DETAIL_PRODUCT              1022
#define IDC_DEVICE_LIST_LABEL           1040

// Setup wizard: the summary page
#define IDC_SETTING_SUMMARY             1010

// CSV import and export dialog
#define IDC_CSV_STATUS                  1043
#define IDC_CSV_PROGRESS                1044

// Main settings sheet: the export button beside the tabs
#define IDC_EXPORT_SETTING              1031

// General page (the setup wizard's whitelist page has the same controls but 1000)
#define IDC_USB_CONTROL                 1000
#define IDC_WHITELIST                   1001
#define IDC_WHITELIST_ADD               1002
#define IDC_WHITELIST_EDIT              1003
#define IDC_WHITELIST_DELETE            1004
#define IDC_OUTSIDE_BLOCK               1005
#define IDC_OUTSIDE_READ_ONLY           1006
#define IDC_BLOCK_PORTABLE              1029
#define IDC_BLOCK_CD_WRITING            1031
#define IDC_CSV_IMPORT                  1041
#define IDC_CSV_EXPORT                  1042
#define IDC_BLOCK_INTERNAL_SD           1045

// Password page, also the setup wizard's (IDC_PASSWORD above is its password edit)
#define IDC_SET_PASSWORD                1007
#define IDC_PASSWORD_CONFIRM            1009
#define IDC_USE_KEY_DEVICE              1029
#define IDC_KEY_VENDOR_ID               1018
#define IDC_KEY_PRODUCT_ID              1019
#define IDC_KEY_SERIAL                  1020
#define IDC_SELECT_KEY_DEVICE           1032
#define IDC_UNLOCK_BOTH                 1034
#define IDC_UNLOCK_EITHER               1035

// Import page
#define IDC_IMPORT_PATH                 1036
#define IDC_IMPORT_BROWSE               1037
#define IDC_IMPORT_AT_START             1038
#define IDC_IMPORT_TIME                 1039

#ifndef IDC_STATIC
#define IDC_STATIC                      (-1)
#endif

// Strings
#define IDS_PRODUCT_NAME                2000
#define IDS_SHEET_CAPTION               2001
#define IDS_ADD_CAPTION                 2002
#define IDS_EDIT_CAPTION                2003
#define IDS_USB_STORAGE                 2004
#define IDS_SETUP_CAPTION               2005
#define IDS_EXPORT_FOLDER_TITLE         2006
#define IDS_EXPORT_BUTTON               2007
#define IDS_USB_DEVICE                  2008
#define IDS_READ_ONLY                   2010
#define IDS_SERIAL_NUMBER               2011
#define IDS_MANUFACTURER                2012
#define IDS_PRODUCT                     2013
#define IDS_USB_STORAGE_LIST            2014
#define IDS_USB_DEVICE_LIST             2015
#define IDS_PASSWORD_REQUIRED           3000
#define IDS_PASSWORD_MISMATCH           3001
#define IDS_UNLOCK_FAILED               3002
#define IDS_SELECT_ONE_FIELD            3003
#define IDS_BAD_VENDOR_ID               3004
#define IDS_BAD_PRODUCT_ID              3005
#define IDS_CONFIRM_DELETE              3006
#define IDS_SELECT_USB_STORAGE          3007
#define IDS_BAD_INSTALLATION            3010
#define IDS_CANNOT_CHANGE_SETTING       3011
#define IDS_CANNOT_SAVE_SETTING         3012
#define IDS_RESTART_FOR_CD_POLICY       3013
#define IDS_SELECT_USB_DEVICE           3014
#define IDS_SET_PASSWORD_OR_KEY         3015
#define IDS_LEGACY_FILTERS_BLOCKED      4020
#define IDS_SETTING_FILE_FILTER         4021
#define IDS_ENTER_SETTING_FILE          4022
#define IDS_CSV_IMPORT_FAILED           4030
#define IDS_CSV_EXPORT_FAILED           4031
#define IDS_CSV_SOME_LINES_FAILED       4032
#define IDS_CSV_LOG_SAVED               4033
#define IDS_CSV_LOG_FAILED              4034
#define IDS_CSV_FILTER                  4035
#define IDS_ALL_FILES_FILTER            4036
#define IDS_CSV_IMPORT_REPLACES         4037
#define IDS_CSV_ROWS_LOST               4038
#define IDS_SUMMARY_WHITELIST           3101
#define IDS_SUMMARY_OUTSIDE             3102
#define IDS_SUMMARY_OPTIONS             3104
#define IDS_SUMMARY_BLOCK_PORTABLE      3105
#define IDS_SUMMARY_ALLOW_PORTABLE      3106
#define IDS_SUMMARY_BLOCK_CD            3107
#define IDS_SUMMARY_ALLOW_CD            3108
#define IDS_SUMMARY_LINE_BREAK          3120
#define IDS_SUMMARY_BULLET              3121
#define IDS_SUMMARY_NONE                3132
#define IDS_SUMMARY_BLOCK_ALL           3133
#define IDS_SUMMARY_ALL_READ_ONLY       3134
#define IDS_SUMMARY_ALLOW_INTERNAL_SD   3135
#define IDS_SUMMARY_BLOCK_INTERNAL_SD   3136
