// Stage-by-stage processing of the engine: the per-sample steps reordered
// stage by stage over stretches of samples, with every value computed by the
// same operations, at the same precisions and in the same order as one
// sample at a time. A stretch goes to the engine's path (stage_kernels.h,
// stretch_stages.h), whichever it is; this file cuts the samples into
// stretches that path may take.
#include "reverb_engine.h"
#include "reverb_engine_tuning.h"
#include "stage_kernels.h"

// No read of a diffuser reaches a value of its own stretch while the
// stretch is at most as long as the diffuser; the feedback lines add their
// lengths in reverb_engine_keep_reads_inside.
int32_t reverb_engine_diffuser_stretch(const ReverbEngine* engine)
{
    int32_t longest = MAX_STRETCH;
    auto limit = [&longest](int32_t v) {
        if (v < longest)
            longest = v;
    };
    limit(engine->input_diffuser->line.size);
    for (int k = 0; k < ENGINE_CHAIN_LENGTH; ++k) {
        limit(engine->left_diffusers[k]->line.size);
        limit(engine->right_diffusers[k]->line.size);
    }
    return longest;
}

namespace {

// Below this many samples per stretch the stage-by-stage work does not pay.
constexpr int32_t MIN_STRETCH = 8;

// Runs `count` samples through ENGINES engines side by side, in stretches as
// long as every engine allows, or a sample at a time when some engine allows
// only very short stretches.
template <int ENGINES>
void process_stretches(EngineStretch* stretches, int32_t count)
{
    int32_t longest = MAX_STRETCH;
    for (int e = 0; e < ENGINES; ++e) {
        const int32_t limit = stretches[e].engine->longest_stretch;
        if (limit < longest)
            longest = limit;
    }
    if (longest < MIN_STRETCH) {
        for (int e = 0; e < ENGINES; ++e) {
            EngineStretch& s = stretches[e];
            for (int32_t i = 0; i < count; ++i) {
                const ReverbEngineOutput out = reverb_engine_process(s.engine, s.input[i]);
                s.left[i] = out.left;
                s.right[i] = out.right;
            }
        }
        return;
    }
    for (int32_t done = 0; done < count;) {
        const int32_t n = count - done < longest ? count - done : longest;
        stretches[0].engine->kernels->stretch(stretches, ENGINES, n);
        for (int e = 0; e < ENGINES; ++e) {
            stretches[e].input += n;
            stretches[e].left += n;
            stretches[e].right += n;
        }
        done += n;
    }
}

}  // namespace

void reverb_engine_process_samples(ReverbEngine* engine, const float* input, float* left,
                                   float* right, int32_t count)
{
    EngineStretch stretch;
    stretch.engine = engine;
    stretch.input = input;
    stretch.left = left;
    stretch.right = right;
    process_stretches<1>(&stretch, count);
}

void reverb_engine_process_pair(ReverbEngine* first, const float* first_input, float* first_left,
                                float* first_right, ReverbEngine* second,
                                const float* second_input, float* second_left,
                                float* second_right, int32_t count)
{
    EngineStretch stretches[2];
    stretches[0].engine = first;
    stretches[0].input = first_input;
    stretches[0].left = first_left;
    stretches[0].right = first_right;
    stretches[1].engine = second;
    stretches[1].input = second_input;
    stretches[1].left = second_left;
    stretches[1].right = second_right;
    process_stretches<2>(stretches, count);
}
