// The silence test and the skip over silence of an engine at rest.
#include <cstdint>

#include "reverb_engine.h"

bool reverb_engine_is_silent(const ReverbEngine* engine)
{
    if (engine->input_damper->state != 0.0f || !delay_line_is_silent(engine->tap_delay) ||
        !delay_line_is_silent(&engine->input_diffuser->line))
        return false;
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        if (engine->fdn_dampers[k]->state != 0.0f || !delay_line_is_silent(engine->fdn_delays[k]))
            return false;
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k)
        if (!delay_line_is_silent(&engine->left_diffusers[k]->line) ||
            !delay_line_is_silent(&engine->right_diffusers[k]->line))
            return false;
    return true;
}

namespace {

// index + count, wrapped into [0, size); count is usually one stretch of a
// run call, so this usually takes one compare and no division.
int32_t advanced(int32_t index, int32_t size, int32_t count)
{
    int64_t moved = int64_t(index) + count;
    while (moved >= size)
        moved -= size;
    return int32_t(moved);
}

void skip_line(DelayLine* line, int32_t count)
{
    line->index = advanced(line->index, line->size, count);
}

}  // namespace

void reverb_engine_skip_silence(ReverbEngine* engine, int32_t count)
{
    // Silence in a silent engine computes +0.0 everywhere: the dampers keep
    // their zero state, every store takes zeros, and only the positions move.
    skip_line(engine->tap_delay, count);
    skip_line(&engine->input_diffuser->line, count);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        skip_line(engine->fdn_delays[k], count);
        engine->fdn_outputs[k] = 0.0f;
        engine->tap_outputs[k] = 0.0f;
        engine->fdn_feedback[k] = 0.0f;
    }
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        skip_line(&engine->left_diffusers[k]->line, count);
        skip_line(&engine->right_diffusers[k]->line, count);
    }
}
