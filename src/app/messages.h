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
constexpr UINT WM_APP_UPDATE_STATUS = WM_APP + 1;     // show the status another thread left; no parameters
constexpr UINT WM_APP_FILL_PREFERENCES = WM_APP + 2;  // reload the preferences; no parameters
// The two are handled this long after they arrive, each by a timer whose identifier is the
// message: most requests, a capture's included, are over by then, and their refreshes do not
// compete with their capture and sending (under Wine, all queue at the one Wine server). A
// tenth of a second is too short for anyone to see the status lag.
constexpr UINT kPostedRefreshDelay = 100;
