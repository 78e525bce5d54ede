// The one table of where everything sits in the GUI, in logical pixels of a
// UI_WIDTH x UI_HEIGHT canvas. The view scales this canvas once, uniformly,
// to fit the window it is given and centres it; ui_layout_fit and
// ui_layout_to_window give that mapping to anyone who needs window
// coordinates (the view's hit tests, and test hosts that click on controls
// and buttons). Moving a knob is moving its name in UI_KNOB_ORDER (the box
// it sits in is its group's, which the control table gives), a button a
// change of one line in UI_HEADER.
#pragma once

#include <array>
#include <cstdint>

#include "control_table.h"

// Default canvas size, logical pixels; the window's size at scale factor 1.
constexpr float UI_WIDTH = 720.0f;
constexpr float UI_HEIGHT = 400.0f;
// The largest scale the canvas is drawn at: an X window is at most 32767
// pixels wide, and fonts far larger than that make the font renderer fail.
constexpr float UI_MAX_SCALE = 40.0f;
constexpr float UI_MAX_WINDOW = 32767.0f;

struct LayoutRect {
    float x, y, w, h;
};

// A box with a name: a group's title, a header item's name.
struct LayoutNamedBox {
    const char* name;
    LayoutRect box;
};

// The title strip; the impulse response over time and, beside it, the
// decay time per octave.
constexpr LayoutRect UI_TITLE = {10.0f, 4.0f, 700.0f, 24.0f};
constexpr LayoutRect UI_PREVIEW = {10.0f, 30.0f, 452.0f, 222.0f};
constexpr LayoutRect UI_OCTAVES = {468.0f, 30.0f, 242.0f, 222.0f};

// The header's buttons, after the title: the preset browser (previous, the
// preset's name, which opens the list of presets, next), mix lock, and the
// A/B comparison (the two slots and copy). The names are how test hosts ask
// for an item.
enum HeaderItem {
    HEADER_PREVIOUS,
    HEADER_PRESET,
    HEADER_NEXT,
    HEADER_MIX_LOCK,
    HEADER_SLOT_A,
    HEADER_SLOT_B,
    HEADER_COPY,
    HEADER_ITEM_COUNT
};

constexpr LayoutNamedBox UI_HEADER[HEADER_ITEM_COUNT] = {
    {"previous", {140.0f, 6.0f, 20.0f, 20.0f}},
    {"preset", {162.0f, 6.0f, 150.0f, 20.0f}},
    {"next", {314.0f, 6.0f, 20.0f, 20.0f}},
    {"mix_lock", {346.0f, 6.0f, 76.0f, 20.0f}},
    {"slot_a", {440.0f, 6.0f, 24.0f, 20.0f}},
    {"slot_b", {464.0f, 6.0f, 24.0f, 20.0f}},
    {"copy", {494.0f, 6.0f, 70.0f, 20.0f}},
};

// The list of presets opens under the name, one row each.
constexpr float PRESET_ROW_HEIGHT = 20.0f;

static inline LayoutRect ui_layout_preset_row(int row)
{
    const LayoutRect& name = UI_HEADER[HEADER_PRESET].box;
    return {name.x, name.y + name.h + 2.0f + float(row) * PRESET_ROW_HEIGHT, name.w,
            PRESET_ROW_HEIGHT};
}

// A knob: its radius, and the areas its name and value text take around its
// centre. The value text is also where a click starts typing.
constexpr float KNOB_RADIUS = 17.0f;
constexpr float KNOB_CELL_WIDTH = 55.0f;
constexpr float KNOB_NAME_DY = -28.0f;   // baseline of the name above the centre
constexpr float KNOB_VALUE_DY = 36.0f;   // baseline of the value below the centre
constexpr float KNOB_HIT_HALF_HEIGHT = 44.0f;

// The box of each control group (ControlGroup order), with its title.
constexpr LayoutNamedBox UI_GROUPS[CONTROL_GROUP_COUNT] = {
    {"Space", {10.0f, 260.0f, 114.0f, 134.0f}},
    {"Decay", {132.0f, 260.0f, 169.0f, 134.0f}},
    {"Tone", {309.0f, 260.0f, 224.0f, 134.0f}},
    {"Levels", {541.0f, 260.0f, 169.0f, 134.0f}},
};

// One control on the canvas: its port and the centre of its knob.
struct LayoutControl {
    PortIndex port;
    float cx, cy;
};

// The knobs from left to right, each group's together and the groups in
// ControlGroup order (the control table gives each control its group).
// Moving a knob is moving its name here: a group's knobs share its box in
// cells KNOB_CELL_WIDTH wide, centred, on one row at KNOB_ROW_Y.
constexpr PortIndex UI_KNOB_ORDER[] = {
    PORT_ROOM_SIZE, PORT_PREDELAY,                                          // space
    PORT_DECAY, PORT_DECAY_TILT, PORT_DAMPING,                              // decay
    PORT_BANDWIDTH, PORT_LOW_CUT, PORT_HIGH_BAND_FREQ, PORT_LOW_BAND_FREQ,  // tone
    PORT_MIX, PORT_TAIL_LEVEL, PORT_WET_LEVEL,                              // levels
};
constexpr int UI_CONTROL_COUNT = int(sizeof UI_KNOB_ORDER / sizeof UI_KNOB_ORDER[0]);
constexpr float KNOB_ROW_Y = 330.0f;

// Each knob's centre, from its place among its group's knobs.
constexpr std::array<LayoutControl, UI_CONTROL_COUNT> ui_layout_knobs()
{
    std::array<LayoutControl, UI_CONTROL_COUNT> knobs = {};
    for (int i = 0; i < UI_CONTROL_COUNT; ++i) {
        const ControlGroup group = CONTROL_INFO[UI_KNOB_ORDER[i]].group;
        int place = 0, count = 0;
        for (int k = 0; k < UI_CONTROL_COUNT; ++k) {
            const bool same_group = CONTROL_INFO[UI_KNOB_ORDER[k]].group == group;
            place += same_group && k < i;
            count += same_group;
        }
        const LayoutRect& box = UI_GROUPS[int(group)].box;
        const float first_cell = box.x + (box.w - float(count) * KNOB_CELL_WIDTH) * 0.5f;
        knobs[i] = {UI_KNOB_ORDER[i], first_cell + KNOB_CELL_WIDTH * (float(place) + 0.5f),
                    KNOB_ROW_Y};
    }
    return knobs;
}
constexpr std::array<LayoutControl, UI_CONTROL_COUNT> UI_CONTROLS = ui_layout_knobs();

// UI_KNOB_ORDER names every control once.
constexpr bool ui_layout_knobs_complete()
{
    bool named[CONTROL_PORT_COUNT] = {};
    for (PortIndex port : UI_KNOB_ORDER) {
        if (port >= CONTROL_PORT_COUNT || named[port])
            return false;
        named[port] = true;
    }
    return UI_CONTROL_COUNT == int(CONTROL_PORT_COUNT);
}
static_assert(ui_layout_knobs_complete(), "UI_KNOB_ORDER names every control once");

// How the canvas sits in a window of `width` x `height` pixels: logical
// pixel (x, y) lands at (offset_x + x * scale, offset_y + y * scale).
struct LayoutFit {
    float scale;
    float offset_x, offset_y;
};

static inline LayoutFit ui_layout_fit(float width, float height)
{
    // No window is larger than X allows; a size that is not a number is none.
    width = width >= 0.0f ? (width < UI_MAX_WINDOW ? width : UI_MAX_WINDOW) : 0.0f;
    height = height >= 0.0f ? (height < UI_MAX_WINDOW ? height : UI_MAX_WINDOW) : 0.0f;
    float sx = width / UI_WIDTH;
    float sy = height / UI_HEIGHT;
    float s = sx < sy ? sx : sy;
    if (!(s > 0.01f))
        s = 0.01f;  // a window of no size still maps to finite coordinates
    if (s > UI_MAX_SCALE)
        s = UI_MAX_SCALE;
    return {s, (width - UI_WIDTH * s) * 0.5f, (height - UI_HEIGHT * s) * 0.5f};
}

// The layout entry of `port`, or null for an index that is no control.
static inline const LayoutControl* ui_layout_control(uint32_t port)
{
    for (const LayoutControl& c : UI_CONTROLS)
        if (c.port == port)
            return &c;
    return nullptr;
}

// Where logical point (x, y) lands in a window of `width` x `height` pixels.
static inline void ui_layout_to_window(float x, float y, float width, float height, float* wx,
                                       float* wy)
{
    const LayoutFit fit = ui_layout_fit(width, height);
    *wx = fit.offset_x + x * fit.scale;
    *wy = fit.offset_y + y * fit.scale;
}

// The centre of `port`'s knob in a window of `width` x `height` pixels.
// Returns false for an index that is no control.
static inline bool ui_layout_control_centre(uint32_t port, float width, float height, float* x,
                                            float* y)
{
    const LayoutControl* c = ui_layout_control(port);
    if (!c)
        return false;
    ui_layout_to_window(c->cx, c->cy, width, height, x, y);
    return true;
}
