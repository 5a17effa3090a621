// The user interface: main window, folder chooser, settings dialog.
#pragma once
#include <windows.h>

extern HINSTANCE appInstance; // the program module; opens the settings dialog

// Restricts the default DLL search to System32, for the whole process and
// for good. The entry point's first act.
void restrictDllSearch();

// Registers the main window's class under className.
ATOM registerMainWindowClass(HINSTANCE instance, const wchar_t* className);

// Creates the main window with its children, log and run wiring.
HWND createMainWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title);

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// "Choose folder": the folder picker, then a run for the picked folder.
void chooseFolder(HWND mainWindow);

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
