// "copy my address": the viewer address on the clipboard as plain text.
#include <cstring>

#include "app/snapshot_system.h"
#include "support/handles.h"

void SnapshotSystem::copy_address_to_clipboard(void*)
{
    // Looked up before the clipboard is opened, so a slow service never keeps it from others.
    const std::string address = server.get_shared_address();
    if (address.empty()) return;  // the clipboard keeps what it had
    glintor::OpenedClipboard clipboard(dialog);
    if (!clipboard) return;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, address.size() + 1);
    if (!memory) return;
    char* text = static_cast<char*>(GlobalLock(memory));
    if (!text) {
        GlobalFree(memory);
        return;
    }
    std::memcpy(text, address.c_str(), address.size() + 1);
    GlobalUnlock(memory);
    EmptyClipboard();
    // From here the clipboard owns the memory.
    if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
}
