// Starts glintor.exe, opens its preferences from the tray menu, prints the dialog's screen
// rectangle ("left top right bottom") and keeps it shown until the file named by the first
// argument exists; then ends the program. tools/screenshot_preferences.sh drives it.
#include <cstdio>

#include "driving/process.h"

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    driving::GlintorProcess glintor;
    if (!glintor.start()) return 1;
    if (!driving::choose_from_tray_menu(glintor, driving::kUpsToPreferences)) return 1;
    driving::wait_until([&] { return IsWindowVisible(glintor.dialog()) != FALSE; }, 5000);
    Sleep(500);  // let it paint
    RECT r;
    GetWindowRect(glintor.dialog(), &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    std::fflush(stdout);
    driving::wait_until([&] { return GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES; }, 60000);
    return driving::exit_through_tray_menu(glintor) == 0 ? 0 : 1;
}
