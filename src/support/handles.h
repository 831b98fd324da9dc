// Move-only guards for the Win32 and C runtime resources the program obtains. Each one releases
// what it holds when it goes out of scope, so every path out of a routine releases it.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <utility>

namespace glintor {

// Common shape: a value, the value that means "nothing held", and the release call.
template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() : value(Traits::empty()) {}
    explicit UniqueResource(T held) : value(held) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& other) noexcept : value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    T get() const { return value; }
    explicit operator bool() const { return value != Traits::empty(); }
    T release()
    {
        T held = value;
        value = Traits::empty();
        return held;
    }
    void reset(T held = Traits::empty())
    {
        if (value != Traits::empty()) Traits::close(value);
        value = held;
    }

private:
    T value;
};

struct KernelHandleTraits {
    static HANDLE empty() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct RegKeyTraits {
    static HKEY empty() { return nullptr; }
    static void close(HKEY k) { RegCloseKey(k); }
};
struct SocketTraits {
    static SOCKET empty() { return INVALID_SOCKET; }
    static void close(SOCKET s) { closesocket(s); }
};
struct FileTraits {
    static FILE* empty() { return nullptr; }
    static void close(FILE* f) { fclose(f); }
};
struct CreatedDCTraits {
    static HDC empty() { return nullptr; }
    static void close(HDC dc) { DeleteDC(dc); }
};
struct GdiObjectTraits {
    static HGDIOBJ empty() { return nullptr; }
    static void close(HGDIOBJ object) { DeleteObject(object); }
};
struct WindowTraits {
    static HWND empty() { return nullptr; }
    static void close(HWND window) { DestroyWindow(window); }
};
struct MenuTraits {
    static HMENU empty() { return nullptr; }
    static void close(HMENU menu) { DestroyMenu(menu); }
};

using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;  // threads, events, files
using RegKey = UniqueResource<HKEY, RegKeyTraits>;
using UniqueSocket = UniqueResource<SOCKET, SocketTraits>;
using UniqueFile = UniqueResource<FILE*, FileTraits>;  // closing a "D" stream deletes its file
using CreatedDC = UniqueResource<HDC, CreatedDCTraits>;  // CreateDCA, CreateCompatibleDC
using GdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;  // bitmaps, brushes
using UniqueMenu = UniqueResource<HMENU, MenuTraits>;
using UniqueWindow = UniqueResource<HWND, WindowTraits>;  // windows and modeless dialogs

// A device context got from a window (GetDC, GetWindowDC): released with ReleaseDC on that window.
class WindowDC {
public:
    WindowDC(HWND window, HDC dc) : window(window), dc(dc) {}
    ~WindowDC()
    {
        if (dc) ReleaseDC(window, dc);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc; }
    explicit operator bool() const { return dc != nullptr; }

private:
    HWND window;
    HDC dc;
};

// Selects an object into a device context and puts the previous one back at the end.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc(dc), previous(SelectObject(dc, object))
    {
        if (previous == HGDI_ERROR) previous = nullptr;
    }
    ~SelectedObject()
    {
        if (previous) SelectObject(dc, previous);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    explicit operator bool() const { return previous != nullptr; }

private:
    HDC dc;
    HGDIOBJ previous;
};

// The clipboard, opened for a window and closed again at the end of the scope.
class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : opened(OpenClipboard(owner) != FALSE) {}
    ~OpenedClipboard()
    {
        if (opened) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    explicit operator bool() const { return opened; }

private:
    bool opened;
};

// Winsock started for as long as the guard lives; cleaned up only when it started.
class WinsockSession {
public:
    WinsockSession() : started(WSAStartup(0x0101, &data) == 0) {}
    ~WinsockSession()
    {
        if (started) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    explicit operator bool() const { return started; }

private:
    WSADATA data;
    bool started;
};

}  // namespace glintor
