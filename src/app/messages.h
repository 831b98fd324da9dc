// The program's own window messages, and the fixed ones it shares with the shell.
#pragma once

#include <windows.h>

// The tray icon's callback message and identifier.
constexpr UINT kTrayCallbackMessage = WM_USER + 10;  // 1034
constexpr UINT kTrayIconId = 7194;

// Hot-key identifiers registered on the main dialog.
constexpr int kHotKeySnapshotArea = -1;  // Ctrl+Print
constexpr int kHotKeySnapshotAll = -2;   // Shift+Print

// Posted to the main dialog by other threads, which never send to it and wait.
constexpr UINT WM_APP_UPDATE_STATUS = WM_APP + 1;     // show the oldest status another thread left; no parameters
constexpr UINT WM_APP_FILL_PREFERENCES = WM_APP + 2;  // reload the preferences; no parameters
constexpr UINT WM_APP_SCRATCH_KEPT = WM_APP + 3;      // a capture kept its scratch: watch it; no parameters
// Posted by a second copy of the program, which then ends: show the preferences; no parameters.
constexpr UINT WM_APP_SHOW_PREFERENCES = WM_APP + 4;

// The main dialog's caption (its template's), by which a second copy finds the first.
constexpr const char* kMainDialogCaption = "Glintor V1.03";

// The main dialog's timer that tries again to add the tray icon, and how often.
constexpr UINT_PTR kTrayRetryTimer = 1;
constexpr UINT kTrayRetryMilliseconds = 3000;

// The main dialog's timer that looks, while a capture's scratch is kept, whether it has been
// idle long enough to be given back, and how often.
constexpr UINT_PTR kScratchReleaseTimer = 2;
constexpr UINT kScratchCheckMilliseconds = 1000;

// The main dialog's one-shot timer that takes "snapshot all" chosen from the tray menu once the
// menu's fade-out is over (the fading item is a layered window, which a capture would show),
// and how long after the choice.
constexpr UINT_PTR kMenuSnapshotTimer = 3;
constexpr UINT kMenuFadeMilliseconds = 400;
