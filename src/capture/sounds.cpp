#include "capture/sounds.h"

#include "app/snapshot_system.h"

#include <mmsystem.h>

#include <cstdio>

#include "resources/resource.h"
#include "support/handles.h"
#include "support/platform.h"

PlaySoundFunction play_sound_call = nullptr;

namespace {

// winmm is not one of Windows' known DLLs: it is taken from the system folder, never from the
// folder the program was started from.
BOOL play(LPCSTR sound, HMODULE module, DWORD flags)
{
    static const auto system_call = glintor::system_function<PlaySoundFunction>("winmm.dll", "PlaySoundA");
    const PlaySoundFunction call = play_sound_call ? play_sound_call : system_call;
    return call && call(sound, module, flags);
}

}  // namespace

SoundSource play_sound(bool enabled, const std::string& path, int builtin_resource)
{
    if (!enabled) return SoundSource::none;
    if (!path.empty() && glintor::UniqueFile(std::fopen(path.c_str(), "r")) &&
        play(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT))
        return SoundSource::user_file;
    play(MAKEINTRESOURCEA(builtin_resource), app_instance, SND_RESOURCE | SND_ASYNC);
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
