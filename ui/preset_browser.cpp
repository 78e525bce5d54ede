#include "preset_browser.h"

#include "preset_table.h"

void preset_browser_reset(PresetBrowser* browser)
{
    browser->last = NO_PRESET;
    browser->mix_lock = false;
}

int preset_count() { return PRESET_COUNT; }

const char* preset_name(int index)
{
    return index >= 0 && index < PRESET_COUNT ? PRESETS[index].name : "Custom";
}

int preset_find(const float values[CONTROL_PORT_COUNT])
{
    for (int i = 0; i < PRESET_COUNT; ++i) {
        uint32_t port = 0;
        while (port < CONTROL_PORT_COUNT && values[port] == PRESETS[i].values[port])
            ++port;
        if (port == CONTROL_PORT_COUNT)
            return i;
    }
    return NO_PRESET;
}

void preset_browser_follow(PresetBrowser* browser, const float values[CONTROL_PORT_COUNT])
{
    const int found = preset_find(values);
    if (found != NO_PRESET)
        browser->last = found;
}

int preset_browser_step(const PresetBrowser* browser, const float values[CONTROL_PORT_COUNT],
                        int step, bool wrap)
{
    int from = preset_find(values);
    if (from == NO_PRESET)
        from = browser->last;
    if (from == NO_PRESET) {
        // Before the first preset, or, going back, after the last.
        from = step > 0 ? -1 : (wrap ? PRESET_COUNT : 1);
    }
    int to = from + step;
    if (wrap)
        return ((to % PRESET_COUNT) + PRESET_COUNT) % PRESET_COUNT;
    return to < 0 ? 0 : to >= PRESET_COUNT ? PRESET_COUNT - 1 : to;
}

void preset_browser_target(const PresetBrowser* browser, int index,
                           const float values[CONTROL_PORT_COUNT],
                           float target[CONTROL_PORT_COUNT])
{
    const Preset& preset = PRESETS[index >= 0 && index < PRESET_COUNT ? index : 0];
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port) {
        const bool locked = browser->mix_lock && (port == PORT_MIX || port == PORT_WET_LEVEL);
        target[port] = locked ? values[port] : preset.values[port];
    }
}
