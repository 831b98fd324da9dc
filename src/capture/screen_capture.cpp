#include "server/snapshot_server.h"

void SnapshotServer::Snapshot(int32_t, int32_t, int32_t, int32_t)
{
    // The screen capture is not built yet: the current snapshot stays as it is.
}
