// Entry point: one controller for the whole run and the window message loop.
#include "app/snapshot_system.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    app_instance = instance;
    // The preferences dialog holds a trackbar: its class must be registered before the dialog.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    SnapshotSystem controller;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(controller.dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
            // Escape in the preferences window hides it; the program keeps running.
            ShowWindow(controller.dialog, SW_HIDE);
        }
    }
    return 0;
}
