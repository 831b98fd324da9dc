// Brings up what the program's WinMain sets up before it builds its controller, so that tests
// can build a real SnapshotSystem in their own process.
#pragma once

#include "app/snapshot_system.h"

#include <commctrl.h>

namespace testing_helpers {

inline void prepare_program_environment()
{
    app_instance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
}

}  // namespace testing_helpers
