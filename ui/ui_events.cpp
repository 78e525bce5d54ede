// X events to model changes: drags, the wheel, double-clicks, typing, hover
// on the knobs; clicks and the wheel on the header's preset browser, mix
// lock and A/B. Every change of a value goes to the host through write();
// when the host offers ui:touch, a drag is wrapped in one grab and release,
// and every other change of a control in its own.

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstring>

#include "ui_instance.h"
#include "ui_layout.h"

namespace {

// Pointer travel for a control's whole range, logical pixels; Shift divides
// each movement by FINE_FACTOR. A wheel notch moves WHEEL_STEP of the range
// (FINE_FACTOR times less with Shift). Two presses on one control within
// DOUBLE_CLICK_SECONDS reset it to its default.
constexpr double DRAG_PIXELS = 200.0;
constexpr double FINE_FACTOR = 10.0;
constexpr double WHEEL_STEP = 0.01;
constexpr double DOUBLE_CLICK_SECONDS = 0.4;

void touch(HalvaneUi* ui, uint32_t port, bool grabbed)
{
    if (ui->touch)
        ui->touch->touch(ui->touch->handle, port, grabbed);
}

// Shows `value` for `port` and tells the host, when it differs from what is
// shown.
void change(HalvaneUi* ui, uint32_t port, float value)
{
    ab_slots_user_changes(&ui->slots);
    if (!halvane_ui_show(ui, port, value))
        return;
    const float v = ui->model.values[port];
    ui->write(ui->controller, port, sizeof v, 0, &v);
}

// One whole gesture that is not a drag (a wheel notch, a reset, a typed
// value), wrapped in its own grab and release.
void change_once(HalvaneUi* ui, uint32_t port, float value)
{
    touch(ui, port, true);
    change(ui, port, value);
    touch(ui, port, false);
}

// Sets every control that differs from `target`, one gesture each: a
// preset chosen, a slot switched to.
void change_all(HalvaneUi* ui, const float target[CONTROL_PORT_COUNT])
{
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
        if (target[port] != ui->model.values[port])
            change_once(ui, port, target[port]);
}

void choose_preset(HalvaneUi* ui, int index)
{
    float target[CONTROL_PORT_COUNT];
    preset_browser_target(&ui->presets, index, ui->model.values, target);
    change_all(ui, target);
}

// The arrows step round the list; the wheel stops at its ends.
void step_preset(HalvaneUi* ui, int step, bool wrap)
{
    choose_preset(ui, preset_browser_step(&ui->presets, ui->model.values, step, wrap));
}

void press_item(HalvaneUi* ui, int item, unsigned button)
{
    if (button == Button4 || button == Button5) {
        if (item == HEADER_PRESET)
            step_preset(ui, button == Button4 ? -1 : 1, false);
        return;
    }
    if (button != Button1)
        return;
    float target[CONTROL_PORT_COUNT];
    switch (item) {
    case HEADER_PREVIOUS:
    case HEADER_NEXT:
        step_preset(ui, item == HEADER_PREVIOUS ? -1 : 1, true);
        break;
    case HEADER_PRESET:
        ui->view.list_open = true;
        ui->view.list_hover = NO_ITEM;
        ui->view.tooltip = false;
        break;
    case HEADER_MIX_LOCK:
        ui->presets.mix_lock = !ui->presets.mix_lock;
        break;
    case HEADER_SLOT_A:
    case HEADER_SLOT_B:
        if (ui->slots.shown != (item == HEADER_SLOT_A ? 0 : 1)) {
            ab_slots_switch(&ui->slots, ui->model.values, target);
            change_all(ui, target);
        }
        break;
    case HEADER_COPY:
        ab_slots_copy(&ui->slots, ui->model.values);
        break;
    default:
        break;
    }
    ui->redraw = true;
}

// With the list of presets open, a press picks the row it is on, if any,
// and closes the list wherever it is.
void press_in_list(HalvaneUi* ui, const ViewHit& hit, unsigned button)
{
    ui->view.list_open = false;
    ui->view.list_hover = NO_ITEM;
    ui->redraw = true;
    if (hit.kind == HitKind::preset_row && button == Button1)
        choose_preset(ui, hit.index);
}

double scale_of(const HalvaneUi* ui)
{
    return double(ui_layout_fit(float(ui->window.width), float(ui->window.height)).scale);
}

void finish_editing(HalvaneUi* ui, bool commit)
{
    const int port = ui->view.editing;
    if (port == NO_CONTROL)
        return;
    float value;
    if (commit && control_parse(uint32_t(port), ui->view.entry, &value))
        change_once(ui, uint32_t(port), value);
    ui->view.editing = NO_CONTROL;
    ui->view.entry[0] = '\0';
    ui->redraw = true;
    x11_window_take_keys(&ui->window, false);
}

void start_editing(HalvaneUi* ui, int port)
{
    finish_editing(ui, true);
    ui->view.editing = port;
    ui->view.entry[0] = '\0';
    ui->view.tooltip = false;
    ui->redraw = true;
    // Keys go to the window only while a value is typed; the host keeps
    // them otherwise.
    x11_window_take_keys(&ui->window, true);
}

void press(HalvaneUi* ui, const XButtonEvent& e)
{
    const ViewHit hit =
        ui_view_hit(ui->window.width, ui->window.height, e.x, e.y, ui->view.list_open);
    const int port = hit.kind == HitKind::control ? hit.index : NO_CONTROL;
    if (ui->view.editing != NO_CONTROL && port != ui->view.editing)
        finish_editing(ui, true);
    if (ui->view.list_open) {
        press_in_list(ui, hit, e.button);
        return;
    }
    if (hit.kind == HitKind::item) {
        ui->last_press_control = NO_CONTROL;
        press_item(ui, hit.index, e.button);
        return;
    }
    if (port == NO_CONTROL)
        return;
    const bool fine = (e.state & ShiftMask) != 0;
    const uint32_t p = uint32_t(port);
    switch (e.button) {
    case Button1: {
        const double now = ui_now();
        if (port == ui->last_press_control && now - ui->last_press_time <= DOUBLE_CLICK_SECONDS) {
            ui->last_press_control = NO_CONTROL;
            change_once(ui, p, CONTROL_RANGES[p].default_value);
            return;
        }
        ui->last_press_control = port;
        ui->last_press_time = now;
        ui->view.active = port;
        ui->view.tooltip = false;
        ui->drag_normal = control_to_normal(p, ui->model.values[p]);
        ui->drag_last_y = e.y;
        ui->redraw = true;
        touch(ui, p, true);
        break;
    }
    case Button3:
        if (ui->view.active == NO_CONTROL)
            start_editing(ui, port);
        break;
    case Button4:
    case Button5: {
        const double step = (fine ? WHEEL_STEP / FINE_FACTOR : WHEEL_STEP) *
                            (e.button == Button4 ? 1.0 : -1.0);
        change_once(ui, p, control_step(p, ui->model.values[p], step));
        break;
    }
    default:
        break;
    }
}

void release(HalvaneUi* ui, const XButtonEvent& e)
{
    if (e.button != Button1 || ui->view.active == NO_CONTROL)
        return;
    touch(ui, uint32_t(ui->view.active), false);
    ui->view.active = NO_CONTROL;
    ui->redraw = true;
}

void motion(HalvaneUi* ui, const XMotionEvent& e)
{
    if (ui->view.active != NO_CONTROL) {
        // Each movement counts from where the pointer last was, so pressing
        // or letting go of Shift changes the speed, never the value.
        const uint32_t p = uint32_t(ui->view.active);
        const double pixels = DRAG_PIXELS * scale_of(ui) *
                              ((e.state & ShiftMask) ? FINE_FACTOR : 1.0);
        ui->drag_normal -= double(e.y - ui->drag_last_y) / pixels;
        ui->drag_normal = ui->drag_normal < 0.0 ? 0.0 : ui->drag_normal > 1.0 ? 1.0 : ui->drag_normal;
        ui->drag_last_y = e.y;
        change(ui, p, control_from_normal(p, ui->drag_normal));
        return;
    }
    const ViewHit hit =
        ui_view_hit(ui->window.width, ui->window.height, e.x, e.y, ui->view.list_open);
    const int port = hit.kind == HitKind::control ? hit.index : NO_CONTROL;
    const int item = hit.kind == HitKind::item ? hit.index : NO_ITEM;
    const int row = hit.kind == HitKind::preset_row ? hit.index : NO_ITEM;
    if (port != ui->view.hover || item != ui->view.hover_item) {
        ui->view.hover = port;
        ui->view.hover_item = item;
        ui->view.tooltip = false;
        ui->hover_since = ui_now();
        ui->redraw = true;
    }
    if (row != ui->view.list_hover) {
        ui->view.list_hover = row;
        ui->redraw = true;
    }
}

void key(HalvaneUi* ui, XKeyEvent& e)
{
    if (ui->view.editing == NO_CONTROL)
        return;
    char text[8];
    KeySym sym = NoSymbol;
    const int n = XLookupString(&e, text, sizeof text, &sym, nullptr);
    if (sym == XK_Return || sym == XK_KP_Enter) {
        finish_editing(ui, true);
    } else if (sym == XK_Escape) {
        finish_editing(ui, false);
    } else if (sym == XK_BackSpace) {
        const size_t length = std::strlen(ui->view.entry);
        if (length > 0)
            ui->view.entry[length - 1] = '\0';
    } else if (n == 1 && text[0] >= ' ' && text[0] < 127) {
        const size_t length = std::strlen(ui->view.entry);
        if (length + 1 < sizeof ui->view.entry) {
            ui->view.entry[length] = text[0];
            ui->view.entry[length + 1] = '\0';
        }
    }
    ui->redraw = true;
}

}  // namespace

void halvane_ui_handle_event(HalvaneUi* ui, XEvent* event)
{
    switch (event->type) {
    case ButtonPress:
        press(ui, event->xbutton);
        break;
    case ButtonRelease:
        release(ui, event->xbutton);
        break;
    case MotionNotify:
        motion(ui, event->xmotion);
        break;
    case LeaveNotify:
        if (ui->view.hover != NO_CONTROL || ui->view.hover_item != NO_ITEM ||
            ui->view.list_hover != NO_ITEM) {
            ui->view.hover = NO_CONTROL;
            ui->view.hover_item = NO_ITEM;
            ui->view.list_hover = NO_ITEM;
            ui->view.tooltip = false;
            ui->redraw = true;
        }
        break;
    case KeyPress:
        key(ui, event->xkey);
        break;
    default:
        break;
    }
}
