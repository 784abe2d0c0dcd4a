// Identifiers shared by keyloom.rc and the code. One number space: menu
// commands 100-130, main window controls 200-219, options dialog 220-229,
// find dialog 230-239; the master password's menu command 140, the lock's
// 141 and 142, and its dialogs' controls 240-249; the import's and the
// export's menu commands 143 and 144, and the import dialog's controls
// 250-259; the options dialog's lock group 260-269.
#pragma once

// ---- Menu commands ----
#define IDM_EXIT 100
#define IDM_HELP 101
#define IDM_ABOUT 102
#define IDM_NEW 103
#define IDM_DELETE 104
#define IDM_MOVE_UP 105
#define IDM_MOVE_DOWN 106
#define IDM_OPTIONS 107
#define IDM_COPY_USER_ID 108
#define IDM_COPY_PASSWORD 109
#define IDM_COPY_MAIL 110
#define IDM_PASTE_USER_ID 114
#define IDM_PASTE_PASSWORD 115
#define IDM_PASTE_MAIL 116
#define IDM_OPEN_ADDRESS 117
#define IDM_PASTE_USER_ID_AND_PASSWORD 121
#define IDM_HIDE_USER_ID 122
#define IDM_HIDE_PASSWORD 123
#define IDM_RENAME 124
#define IDM_HOME_PAGE 125
#define IDM_SUPPORT_MAIL 126
#define IDM_REVERT 127
#define IDM_CREATE_PASSWORD 128
#define IDM_FIND 129
#define IDM_FIND_NEXT 130 // F3 in the list; no menu item

// ---- Main window controls ----
#define IDC_LIST 200
#define IDC_TITLE 201
#define IDC_USER_ID 202
#define IDC_PASSWORD 203
#define IDC_ADDRESS 204
#define IDC_MAIL 205
#define IDC_MEMO 206
#define IDC_STATUS 207
#define IDC_COPY_USER_ID 208
#define IDC_COPY_PASSWORD 209
#define IDC_OPEN_ADDRESS 210
#define IDC_COPY_MAIL 211
#define IDC_PASTE_USER_ID 212
#define IDC_PASTE_PASSWORD 213
#define IDC_CREATE_PASSWORD 214
#define IDC_PASTE_MAIL 215
#define IDC_UNLOCK 216      // the locked view's button: the unlock
#define IDC_LOCKED_TEXT 217 // and its line
#define IDC_PASTE_USER_ID_AND_PASSWORD 219

// ---- Options dialog controls ----
#define IDC_LENGTH 220
#define IDC_LENGTH_ARROWS 221
#define IDC_USE_DIGITS 222
#define IDC_USE_LOWERCASE 223
#define IDC_USE_UPPERCASE 224
#define IDC_FORGET 225
#define IDC_FORGET_SECONDS 226
#define IDC_FORGET_ARROWS 227

// ---- Find dialog controls ----
#define IDC_FIND_TEXT 230

// ---- The master password: the menu command and its two dialogs ----
#define IDM_MASTER_PASSWORD 140
#define IDM_LOCK 141   // "ロック(&L)", Ctrl+L on the list
#define IDM_UNLOCK 142 // "ロックを解除(&U)...", the same menu item while locked
#define IDC_CURRENT_PASSWORD_LABEL 240
#define IDC_CURRENT_PASSWORD 241
#define IDC_NEW_PASSWORD 242
#define IDC_CONFIRM_PASSWORD 243
#define IDC_TURN_OFF_NOTE 244
#define IDC_PASSWORD_PROMPT 245
#define IDC_MASTER_PASSWORD 246

// ---- Import and export: the menu commands and the import dialog ----
#define IDM_IMPORT 143 // "インポート(&I)..."
#define IDM_EXPORT 144 // "エクスポート(&E)..."
#define IDC_IMPORT_FILE 250
#define IDC_IMPORT_ENCODING 251
#define IDC_IMPORT_FORMAT 252
#define IDC_IMPORT_ADDED 253
#define IDC_IMPORT_DUPLICATES 254
#define IDC_IMPORT_REFUSED 255
#define IDC_IMPORT_CHANGED 256
#define IDC_IMPORT_GROUPS 257
#define IDC_IMPORT_ROWS 258

// ---- The options dialog's lock group, shown enabled while a master password is set ----
#define IDC_LOCK_GROUP 260
#define IDC_LOCK_ON_SESSION 261 // Windows locks, the user switches, the PC sleeps
#define IDC_LOCK_IDLE 262       // the minutes' sentence: its box,
#define IDC_LOCK_MINUTES 263    // its number,
#define IDC_LOCK_ARROWS 264
#define IDC_LOCK_IDLE_TEXT 265 // and the rest of it

// ---- The maker's links: shown by the about box, opened from the help menu ----
#define HOME_PAGE_URL "https://www.keyloom.example/"
#define SUPPORT_MAIL_ADDRESS "support@keyloom.example"

// ---- About dialog lines (the commands they share with the help menu) ----
#define IDC_HOME_PAGE_LINE IDM_HOME_PAGE
#define IDC_SUPPORT_MAIL_LINE IDM_SUPPORT_MAIL
