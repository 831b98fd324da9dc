// The sounds after a snapshot was taken and after it was sent: the user's wave file, or the
// built-in sound when there is none or it cannot be played.
#include "app/snapshot_system.h"

#include <mmsystem.h>

#include <cstdio>

#include "resources/resource.h"
#include "support/handles.h"

namespace {

void play(bool enabled, const std::string& path, int builtin)
{
    if (!enabled) return;
    bool builtin_needed = true;
    if (!path.empty() && glintor::UniqueFile(std::fopen(path.c_str(), "r"))) {
        if (PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT)) builtin_needed = false;
    }
    if (builtin_needed) PlaySoundA(MAKEINTRESOURCEA(builtin), app_instance, SND_RESOURCE | SND_ASYNC);
}

}  // namespace

void SnapshotSystem::snapshot_sound()
{
    play(server.get_play_snapshot_sound(), server.get_snapshot_sound_path(), IDW_SNAPSHOT_SOUND);
}

void SnapshotSystem::sent_sound()
{
    play(server.get_play_sent_sound(), server.get_sent_sound_path(), IDW_SENT_SOUND);
}
