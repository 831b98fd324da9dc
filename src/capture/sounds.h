// The sound after a snapshot was taken or sent.
#pragma once

#include <windows.h>

#include <string>

enum class SoundSource { none, user_file, builtin };

// The platform's PlaySoundA (winmm's, from the system folder) unless this is set: tests put a
// recorder in front of the platform through it.
using PlaySoundFunction = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
extern PlaySoundFunction play_sound_call;

// Plays the user's wave file, or the built-in resource when the file is missing, unreadable or
// not playable; nothing when switched off. Returns at once with what it asked to play.
SoundSource play_sound(bool enabled, const std::string& path, int builtin_resource);
