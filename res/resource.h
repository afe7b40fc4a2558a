#pragma once
// Numeric resource ids of Quillmend: icons, bitmaps, dialogs, the list's
// popup menu, strings and the command and control ids the windows share.
// Plain macros so that any code (also Qt-free code) can include this file.

// Dialogs
#define IDD_ABOUTBOX                    100
#define IDD_QUILLMEND_DIALOG            102
#define IDD_PROGRESS                    145
#define IDD_SEARCH_SETTING              146
#define IDD_SEARCH_PROGRESS             147

// Icons
#define IDR_MAINFRAME                   128   // program icon, 48, 32 and 16 px
#define IDI_SEARCH                      134   // 32 x 32 button icons
#define IDI_SAVE                        135
#define IDI_LOAD                        136
#define IDI_HELP                        138
#define IDI_DISKS                       139

// Bitmaps
#define IDB_HEADER                      129   // 800 x 102
#define IDB_BUTTON_SKIN                 130   // 88 x 22, four 22 x 22 cells
#define IDB_STATUS                      132   // 338 x 23
#define IDB_SORT_ARROWS                 141   // two 15 x 15 images: 0 down, 1 up
#define IDB_SMALL_ICONS                 142   // two 26 px wide images: 0 e-mail, 1 with attachment
#define IDB_TICK_STATES                 144   // four 16 x 13 images: blank, box, grey tick, green tick
#define IDB_TREE                        145   // three 16 x 16 images: folder, file, selected file

// Menus
#define IDR_LIST_MENU                   146   // popup menu of the message list

// System-menu command of the About entry (low four bits are reserved)
#define IDM_ABOUTBOX                    0x0010

// Strings
#define IDS_ABOUTBOX                    101
#define IDS_NOTICE                      103
#define IDS_HINT_SAVE                   104
#define IDS_HINT_LOAD                   105
#define IDS_HINT_SEARCH                 106
#define IDS_HINT_HELP                   107
#define IDS_CAPTION_SAVE                109
#define IDS_CAPTION_LOAD                110
#define IDS_CAPTION_SEARCH              111
#define IDS_CAPTION_HELP                112
#define IDS_STORE_FOLDER                114
#define IDS_STATUS_COUNTS               115
#define IDS_SAVE_FOLDER_TITLE           116
#define IDS_SAVED_TO                    117
#define IDS_EXIT_NOW                    118
#define IDS_NOTHING_SELECTED            119
#define IDS_COLUMN_FROM                 120
#define IDS_COLUMN_TO                   121
#define IDS_COLUMN_SUBJECT              122
#define IDS_COLUMN_DATE                 123
#define IDS_COLUMN_STATUS               124
#define IDS_STATUS_EXISTING             125
#define IDS_STATUS_DELETED              126
#define IDS_SEARCH_FOLDER_TITLE         127
// Strings of the store lookup beyond the first identity
#define IDS_IDENTITY_FOLDER             240
#define IDS_FIRST_IDENTITY_NO_STORE     241
#define IDS_NO_STORE                    242
// Strings of this port, beyond the original table
#define IDS_LIST_INCOMPLETE             200
#define IDS_SAVE_NOT_ALL                201
#define IDS_SAVE_CANCELLED              202
#define IDS_SAVE_COUNT_SAVED            203
#define IDS_SAVE_COUNT_NOT_WRITTEN      204
#define IDS_SAVE_COUNT_INCOMPLETE       205
#define IDS_SAVE_COUNT_NOT_TRIED        206
#define IDS_SAVE_NOT_DURABLE            207
#define IDS_SAVE_PROGRESS_TITLE         208
#define IDS_SAVE_PROGRESS               209
#define IDS_SAVE_FLUSHING               210
#define IDS_SAVE_CANCELLING             211
#define IDS_FILES_NOT_FOUND             212
#define IDS_HELP_TITLE                  213
#define IDS_HELP_MISSING                214
#define IDS_SAVE_MBOX_TITLE             215
#define IDS_MBOX_NOT_CREATED            216
#define IDS_SEARCH_UNREADABLE           217
#define IDS_LOAD_NAMES_UNCLEAR          218
#define IDS_SAVE_ATTACHMENT_TITLE       219
#define IDS_ATTACHMENTS_FOLDER_TITLE    220
#define IDS_ATTACHMENT_SAVED_AS         221
#define IDS_ATTACHMENTS_SAVED_TO        222
#define IDS_ATTACHMENTS_NONE            223
#define IDS_ATTACHMENTS_NOT_ALL         224
#define IDS_ATTACHMENTS_COUNT_SAVED     225
#define IDS_ATTACHMENTS_COUNT_DAMAGED   226
#define IDS_ATTACHMENTS_COUNT_NOT_TRIED 227
#define IDS_ATTACHMENT_NOT_SAVED        228
#define IDS_ATTACHMENT_SAVED_DAMAGED    229
#define IDS_LIST_CUT_SHORT              230
// Strings of disk images, disks and moved e-mails
#define IDS_STATUS_MOVED                250
#define IDS_STATUS_MOVED_DELETED        251
#define IDS_CAPTION_DISKS               252
#define IDS_HINT_DISKS                  253
#define IDS_CARVE_PROGRESS_TITLE        254
#define IDS_CARVE_READING               255
#define IDS_CARVE_FOUND                 256
#define IDS_CARVE_ASSEMBLING            257
#define IDS_CARVE_CANCELLING            258
#define IDS_CARVED_FILE                 259
#define IDS_CARVED_FILE_ONE             260
#define IDS_CARVED_FILE_DATES           261
#define IDS_CARVE_STOPPED_NODE          262
#define IDS_CARVE_NOTHING               263
#define IDS_CARVE_UNREADABLE            264
#define IDS_CARVE_INCOMPLETE            265
#define IDS_IMAGE_NO_PERMISSION         266
#define IDS_DISK_NO_PERMISSION          267
#define IDS_DISK_NO_PERMISSION_GROUP    268
#define IDS_IMAGE_NOT_OPENED            269
#define IDS_OPEN_MISSING                270
#define IDS_OPEN_EMPTY                  271
#define IDS_OPEN_NOT_FILE               272
#define IDS_DISKS_TITLE                 273
#define IDS_DISKS_INTRO                 274
#define IDS_DISKS_COLUMN_DEVICE         275
#define IDS_DISKS_COLUMN_SIZE           276
#define IDS_DISKS_COLUMN_MODEL          277
#define IDS_DISKS_COLUMN_MOUNTED        278
#define IDS_DISKS_NONE                  279
#define IDS_DISKS_READ                  280
#define IDS_LOAD_FILTER_ALL             281
#define IDS_CARVED_FILE_TIP             282

// Commands of the main dialog's buttons
#define IDC_BUTTON_SAVE                 101
#define IDC_BUTTON_LOAD                 102
#define IDC_BUTTON_SEARCH               103
#define IDC_BUTTON_HELP                 104
#define IDC_BUTTON_DISKS                105

// Child controls of the browse window
#define IDC_TREE                        101
#define IDC_MESSAGE_LIST                102

// Commands of the message list's popup menu
#define ID_SELECT_ALL                   32771
#define ID_DESELECT_ALL                 32772
#define ID_SELECT_EXISTING              32773
#define ID_SELECT_DELETED               32774
#define ID_SAVE_MBOX                    32775
#define ID_SAVE_ATTACHMENTS             32776
#define ID_SAVE_TICKED_ATTACHMENTS      32777

// Controls of the progress window and the search dialogs
#define IDC_PROGRESS                    1001
#define IDC_DRIVE_LIST                  1002
#define IDC_SEARCH_NOW                  1003
#define IDC_BROWSE_FOLDER               1005
#define IDC_CURRENT_PATH                1008
