#include "ab_slots.h"

#include <cstring>

void ab_slots_reset(AbSlots* slots, const float values[CONTROL_PORT_COUNT])
{
    std::memcpy(slots->other, values, sizeof slots->other);
    slots->shown = 0;
    slots->other_follows = true;
}

void ab_slots_host_set(AbSlots* slots, uint32_t port, float value)
{
    if (slots->other_follows && port < CONTROL_PORT_COUNT)
        slots->other[port] = value;
}

void ab_slots_user_changes(AbSlots* slots) { slots->other_follows = false; }

void ab_slots_switch(AbSlots* slots, const float values[CONTROL_PORT_COUNT],
                     float target[CONTROL_PORT_COUNT])
{
    std::memcpy(target, slots->other, sizeof slots->other);
    std::memcpy(slots->other, values, sizeof slots->other);
    slots->shown = 1 - slots->shown;
    slots->other_follows = false;
}

void ab_slots_copy(AbSlots* slots, const float values[CONTROL_PORT_COUNT])
{
    std::memcpy(slots->other, values, sizeof slots->other);
    slots->other_follows = false;
}
