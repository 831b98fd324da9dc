#include "app/snapshot_system.h"

void SnapshotSystem::copy_address_to_clipboard(void*)
{
    // Address sharing is not built yet: the copy changes nothing.
}
