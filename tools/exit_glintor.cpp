// Ends the running glintor.exe as a user does, with its tray menu's "&exit", so that it gives
// back its hot keys and removes its tray icon. Exit code 0 when it ended with 0, 3 when no
// program runs, 1 otherwise. scripts/run.sh stop uses it.
#include <cstdio>

#include "driving/process.h"

int main()
{
    driving::GlintorProcess glintor;
    if (!glintor.attach()) return 3;
    const DWORD code = driving::exit_through_tray_menu(glintor);
    if (code != 0) std::printf("glintor.exe ended with %lu\n", code);
    return code == 0 ? 0 : 1;
}
