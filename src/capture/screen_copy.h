// The screen's pixels copied into a bitmap.
#pragma once

#include <windows.h>

// Copies the part of the bitmap selected into `to` (in its coordinates) from `from`, whose
// pixel `origin` goes to the bitmap's (0, 0). False when a copy fails.
bool copy_from_screen(HDC to, HDC from, const RECT& part, POINT origin);
