// Every resource, command and control identifier of dravlet-ui.
#pragma once

// Strings
#define IDS_APP_TITLE   103   // "dravlet-ui", the main window's first title
#define IDS_CLASS_NAME  109   // "DRAVLETUI", the main window's class

// Menu and accelerators
#define IDR_MAINMENU    109
#define IDR_ACCEL       109

// Icons
#define IDI_DRAVLETUI   107   // large: the class icon, also in the settings dialog
#define IDI_SMALL       108

// Dialogs
#define IDD_CONFIG      103   // "Usenet config"

// Commands of the main window
#define IDM_CHOOSE      4     // the "Choose folder" button
#define IDM_CONFIG      104   // &Config ...
#define IDM_EXIT        105   // E&xit

// Child windows of the main window
#define IDC_LOGVIEW     3
#define IDC_CHOOSE      4

// Controls of the settings dialog
#define IDC_HOST        1001
#define IDC_USER        1002
#define IDC_PASS        1003
#define IDC_ANONIMIZE   1004
#define IDC_CONNS       1005
