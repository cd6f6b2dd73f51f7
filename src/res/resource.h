// Resource ids of the module: dialogs, icon, strings and every control the code addresses.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Button texts for the host toolbar.
#define IDS_BUTTON_TEXT1 1
#define IDS_BUTTON_TEXT2 2
#define IDS_BUTTON_TEXT3 3

#define IDI_CLEAR 112

#define IDD_CLEAN 253
#define IDD_PROGRESS 254
#define IDD_RECORD_DELETE 255

// Clean dialog.
#define IDC_CLEAN_NOW 1145
#define IDC_CHECK_HISTORY 1162
#define IDC_CHECK_ADDRESS_BAR 1179
#define IDC_CHECK_SEARCH_RECORDS 1181
#define IDC_CHECK_TEMP_FILES 1182
#define IDC_CHECK_FORM_DATA 1183
#define IDC_CHECK_PASSWORDS 1184
#define IDC_CHECK_COOKIES 1185
#define IDC_LINK_ADDRESS_BAR 1189
#define IDC_LINK_SEARCH_RECORDS 1190
#define IDC_CHECK_AUTO_CLEAN 1191
#define IDC_INTRO_TEXT 1192
#define IDC_SELECT_ALL 1199
#define IDC_INVERT_SELECTION 1200
#define IDC_DEFAULT_SELECTION 1201

// Progress dialog.
#define IDC_PROGRESS_BAR 1194
#define IDC_PROGRESS_STATUS 1195

// Record deletion dialog.
#define IDC_RECORD_DELETE_TICKED 1145
#define IDC_RECORD_LIST 1196
#define IDC_RECORD_SELECT_ALL 1202
#define IDC_RECORD_INVERT 1203
