// Entry point: one controller for the whole run and the window message loop.
#include "app/snapshot_system.h"

#include <commctrl.h>
#include <ole2.h>

#include "support/platform.h"

namespace {
void run_message_loop();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    app_instance = instance;
    // Where Wine needs a work-around (the screen copy), it is decided here, once.
    glintor::running_under_wine();
    // The preferences dialog holds a trackbar: its class must be registered before the dialog.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    // The folder chooser's new-style dialog needs OLE on this thread.
    OleInitialize(nullptr);
    run_message_loop();
    OleUninitialize();
    return 0;
}

namespace {

// The controller lives exactly as long as the loop runs.
void run_message_loop()
{
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
}

}  // namespace
