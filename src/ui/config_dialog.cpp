// The "Usenet config" dialog. It always opens empty: the settings file is
// written, never read back.
#include "ui.h"

#include "../settings/save_config.h"

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE; // the platform puts the focus on the first tab stop, "Save"
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            saveConfig(dialog);
            EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
