// The two manual snapshot commands and the translucent overlay on which the user drags out an
// area of the screen.
#include <algorithm>

#include "app/snapshot_system.h"
#include "resources/resource.h"
#include "support/handles.h"
#include "support/platform.h"

namespace {

const COLORREF kOverlayColour = RGB(34, 51, 187);
const COLORREF kStoredAreaColour = RGB(221, 221, 255);
const COLORREF kDraggedAreaColour = RGB(255, 255, 255);  // also the colour key: a clear hole
constexpr BYTE kOverlayOpacity = 170;

// The overlay exists once at a time; these belong to it while it is open.
SnapshotSystem* overlay_target = nullptr;
bool dragging = false;
bool overlay_open = false;

using SetLayeredWindowAttributesFunction = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

// A dialog resizes itself when its monitor's scale changes: spread over monitors of different
// scales, the overlay would take the scale of the one holding most of it and shrink or grow by
// the ratio, leaving part of the desktop out of reach. Looked up: only newer systems have it.
void keep_overlay_size(HWND overlay)
{
    using SetDialogDpiChangeBehaviorFunction = BOOL(WINAPI*)(HWND, int, int);
    constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
    const auto set_behaviour =
        glintor::loaded_function<SetDialogDpiChangeBehaviorFunction>("USER32.DLL", "SetDialogDpiChangeBehavior");
    if (set_behaviour) set_behaviour(overlay, kDisableAll, kDisableAll);
}

void on_overlay_init(HWND overlay, LPARAM parameter)
{
    overlay_target = reinterpret_cast<SnapshotSystem*>(parameter);
    keep_overlay_size(overlay);
    glintor::WindowDC screen(nullptr, GetWindowDC(nullptr));
    if (screen)
        SetWindowPos(overlay, HWND_TOP, GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                     GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN), 0);
    SetWindowLongA(overlay, GWL_EXSTYLE, GetWindowLongA(overlay, GWL_EXSTYLE) | WS_EX_LAYERED);
    // Looked up at run time: older systems have no layered windows.
    const auto set_layered =
        glintor::loaded_function<SetLayeredWindowAttributesFunction>("USER32.DLL", "SetLayeredWindowAttributes");
    if (set_layered) set_layered(overlay, kDraggedAreaColour, kOverlayOpacity, LWA_COLORKEY | LWA_ALPHA);
}

void on_overlay_paint(HWND overlay)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(overlay, &paint);
    glintor::GdiObject background(CreateSolidBrush(kOverlayColour));
    glintor::GdiObject selection(CreateSolidBrush(dragging ? kDraggedAreaColour : kStoredAreaColour));
    RECT whole;
    GetWindowRect(overlay, &whole);
    POINT corners[2] = {{whole.left, whole.top}, {whole.right, whole.bottom}};
    ScreenToClient(overlay, &corners[0]);
    ScreenToClient(overlay, &corners[1]);
    RECT client = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    FillRect(dc, &client, static_cast<HBRUSH>(background.get()));
    const SnapshotSystem& s = *overlay_target;
    // Ordered for painting, so that a drag up or to the left shows its hole too.
    RECT area = {std::min(s.selection_x1, s.selection_x2), std::min(s.selection_y1, s.selection_y2),
                 std::max(s.selection_x1, s.selection_x2), std::max(s.selection_y1, s.selection_y2)};
    FillRect(dc, &area, static_cast<HBRUSH>(selection.get()));
    EndPaint(overlay, &paint);
}

// The pointer position of a mouse message, each half taken as unsigned.
POINT pointer_of(LPARAM lParam)
{
    return POINT{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
}

}  // namespace

INT_PTR CALLBACK overlay_proc(HWND overlay, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        on_overlay_init(overlay, lParam);
        return FALSE;
    case WM_SHOWWINDOW:
        dragging = false;
        return FALSE;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT:
        on_overlay_paint(overlay);
        return FALSE;
    case WM_LBUTTONDOWN: {
        SetCapture(overlay);
        const POINT p = pointer_of(lParam);
        overlay_target->selection_x1 = overlay_target->selection_x2 = p.x;
        overlay_target->selection_y1 = overlay_target->selection_y2 = p.y;
        dragging = true;
        InvalidateRect(overlay, nullptr, FALSE);
        return FALSE;
    }
    case WM_MOUSEMOVE:
        if (wParam & MK_LBUTTON) {
            const POINT p = pointer_of(lParam);
            overlay_target->selection_x2 = p.x;
            overlay_target->selection_y2 = p.y;
            InvalidateRect(overlay, nullptr, FALSE);
        }
        return FALSE;
    case WM_LBUTTONUP: {
        const POINT p = pointer_of(lParam);
        overlay_target->selection_x2 = p.x;
        overlay_target->selection_y2 = p.y;
        InvalidateRect(overlay, nullptr, FALSE);
        EndDialog(overlay, 0);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            overlay_target->selection_x1 = overlay_target->selection_y1 = 0;
            overlay_target->selection_x2 = overlay_target->selection_y2 = 0;
            EndDialog(overlay, 0);
        }
        return FALSE;
    default:
        return FALSE;
    }
}

bool SnapshotSystem::overlay_is_open() const
{
    return overlay_open;
}

bool SnapshotSystem::run_overlay()
{
    // A second area command while the overlay is open would open another over it: ignored.
    if (overlay_open) return false;
    overlay_open = true;
    DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_OVERLAY), nullptr, overlay_proc, reinterpret_cast<LPARAM>(this));
    overlay_open = false;
    return true;
}

RECT SnapshotSystem::normalised_selection() const
{
    return RECT{std::min(selection_x1, selection_x2), std::min(selection_y1, selection_y2),
                std::max(selection_x1, selection_x2), std::max(selection_y1, selection_y2)};
}

void SnapshotSystem::snapshot_all()
{
    server.set_auto_snapshot(false);
    update_auto_snapshot_check();
    if (server.get_copy_on_snap()) start_address_copy();
    server.Snapshot(0, 0, -1, -1);
    update_status();
}

void SnapshotSystem::snapshot_area()
{
    if (overlay_is_open()) return;
    selection_x1 = selection_y1 = selection_x2 = selection_y2 = 0;
    run_overlay();
    const RECT area = normalised_selection();
    if (server.get_copy_on_snap()) start_address_copy();
    if (area.left != area.right && area.top != area.bottom)
        server.Snapshot(area.left, area.top, area.right - area.left, area.bottom - area.top);
    server.set_auto_snapshot(false);
    update_status();
    update_auto_snapshot_check();
}
