#include "capture/sounds.h"

#include "app/snapshot_system.h"

#include <mmsystem.h>

#include <cstdio>

#include "resources/resource.h"
#include "support/handles.h"

SoundSource play_sound(bool enabled, const std::string& path, int builtin_resource)
{
    if (!enabled) return SoundSource::none;
    if (!path.empty() && glintor::UniqueFile(std::fopen(path.c_str(), "r")) &&
        PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT))
        return SoundSource::user_file;
    PlaySoundA(MAKEINTRESOURCEA(builtin_resource), app_instance, SND_RESOURCE | SND_ASYNC);
    return SoundSource::builtin;
}

void SnapshotSystem::snapshot_sound()
{
    play_sound(server.get_play_snapshot_sound(), server.get_snapshot_sound_path(), IDW_SNAPSHOT_SOUND);
}

void SnapshotSystem::sent_sound()
{
    play_sound(server.get_play_sent_sound(), server.get_sent_sound_path(), IDW_SENT_SOUND);
}
