// Brings up what the program's WinMain sets up before it builds its controller, so that a
// program can build a real SnapshotSystem in its own process.
#pragma once

#include "app/snapshot_system.h"

#include <commctrl.h>

namespace driving {

inline void prepare_program_environment()
{
    app_instance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
}

}  // namespace driving
