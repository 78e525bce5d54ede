// The engine one sample at a time: the reference every path matches.
#include <cmath>

#include "allpass_diffuser.h"
#include "damping_filter.h"
#include "delay_line.h"
#include "feedback_matrix.h"
#include "reverb_engine.h"
#include "reverb_engine_tuning.h"

ReverbEngineOutput reverb_engine_process(ReverbEngine* engine, float x)
{
    // Input guard: NaN and magnitudes above the limit act as silence.
    if (std::isnan(x) || std::fabs(x) > ENGINE_INPUT_LIMIT)
        x = 0.0f;

    const float y = damping_filter_run(engine->input_damper, x);
    const float z = allpass_diffuser_run(engine->input_diffuser, y);

    float* const e = engine->tap_outputs;
    DelayLine* const taps = engine->tap_delay;
    for (int k = 0; k < ENGINE_TAP_COUNT; ++k)
        e[k] = delay_line_tap(taps, engine->tap_positions[k]) * engine->tap_gains[k];
    delay_line_push(taps, z);

    float* const d = engine->fdn_outputs;
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k) {
        const float fed =
            delay_line_tap(engine->fdn_delays[k], engine->fdn_lengths[k]) * engine->fdn_gains[k];
        d[k] = damping_filter_run(engine->fdn_dampers[k], fed);
    }

    const float E = engine->early_level;
    const float T = engine->tail_level;
    float P[ENGINE_FDN_COUNT];
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        P[k] = E * e[k] + T * d[k];
    double acc = double(P[2]) + double(P[0]);
    acc = acc - double(P[1]);
    acc = acc - double(P[3]);
    acc = acc + double(E * x);
    const float sum = float(acc);

    float* const f = engine->fdn_feedback;
    feedback_matrix_mix(d, f);
    for (int k = 0; k < ENGINE_FDN_COUNT; ++k)
        delay_line_push(engine->fdn_delays[k], f[k] + e[k]);

    float left = sum;
    float right = sum;
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        left = allpass_diffuser_run(engine->left_diffusers[k], left);
        right = allpass_diffuser_run(engine->right_diffusers[k], right);
    }
    return {left, right};
}
