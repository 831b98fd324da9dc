// Entry point: one controller for the whole run and the window message loop.
#include "app/snapshot_system.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/messages.h"
#include "support/handles.h"
#include "support/platform.h"

namespace {
void run_message_loop();
void limit_library_search();
bool first_copy_in_session(glintor::UniqueHandle& mutex);
void show_first_copy();
BOOL WINAPI on_console_event(DWORD event);

DWORD main_thread = 0;
// Set once the controller's shutdown is over; a console close waits for it.
glintor::UniqueHandle shutdown_done;
// How long a console close, log-off or shut-down waits for the orderly exit before Windows
// ends the process.
constexpr DWORD kConsoleCloseWait = 4000;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    limit_library_search();
    // One copy per session: a second one could not serve (the port is taken), and its failed
    // start would record the server as off for the copy that runs. It shows the first copy's
    // preferences instead, touching no setting and no port.
    glintor::UniqueHandle single_copy;
    if (!first_copy_in_session(single_copy)) {
        show_first_copy();
        return 0;
    }
    app_instance = instance;
    main_thread = GetCurrentThreadId();
    shutdown_done.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    SetConsoleCtrlHandler(&on_console_event, TRUE);
    // Where Wine needs a work-around (the screen copy), it is decided here, once.
    glintor::running_under_wine();
    // The preferences dialog holds a trackbar: its class must be registered before the dialog.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    // The folder chooser's new-style dialog needs OLE on this thread.
    OleInitialize(nullptr);
    run_message_loop();
    SetEvent(shutdown_done.get());
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

// Libraries loaded later come from the system folder only, never from the folder the program
// was started in (a Downloads folder may hold anything). Looked up: older systems lack it.
void limit_library_search()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto set_directories =
        glintor::loaded_function<SetDefaultDllDirectoriesFunction>("kernel32.dll", "SetDefaultDllDirectories");
    if (set_directories) set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool first_copy_in_session(glintor::UniqueHandle& mutex)
{
    // "Local\": the user's session, so another user on the same machine runs a copy of their own.
    mutex.reset(CreateMutexA(nullptr, FALSE, "Local\\Glintor.OneCopyPerSession"));
    return !mutex || GetLastError() != ERROR_ALREADY_EXISTS;
}

void show_first_copy()
{
    const HWND first = FindWindowA("#32770", kMainDialogCaption);
    if (!first) return;
    DWORD first_process = 0;
    GetWindowThreadProcessId(first, &first_process);
    // The user started this copy, so it may hand the foreground on to the window it asks up.
    AllowSetForegroundWindow(first_process);
    PostMessageA(first, WM_APP_SHOW_PREFERENCES, 0, 0);
}

// A console host that does not honour the missing close item (Windows Terminal) sends a close
// event, and the process is ended as soon as the handlers return; so are log-off and
// shut-down. The program exits as "&exit" does, and the handler waits for that to be over.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) return FALSE;
    PostThreadMessageA(main_thread, WM_QUIT, 0, 0);
    WaitForSingleObject(shutdown_done.get(), kConsoleCloseWait);
    return TRUE;
}

}  // namespace
