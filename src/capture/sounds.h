// The sound after a snapshot was taken or sent.
#pragma once

#include <string>

enum class SoundSource { none, user_file, builtin };

// Plays the user's wave file, or the built-in resource when the file is missing, unreadable or
// not playable; nothing when switched off. Returns at once with what it asked to play.
SoundSource play_sound(bool enabled, const std::string& path, int builtin_resource);
