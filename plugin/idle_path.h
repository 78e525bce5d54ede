// The idle path of the run loop. An instance whose whole audio state is
// zero (both engines, the pre-delay memory, every filter history in use) and
// whose reverb input is zero for a stretch computes +0.0 on the whole reverb
// path for that stretch. The run loop then skips that work and does only what
// stays observable: the output's dry term, the gain steps, the pre-delay
// glide, the engines' positions and the filters' input history. The result
// is bit for bit that of the full computation.
#pragma once

#include <cstdint>

#include "filter_section.h"
#include "prepare_block.h"
#include "predelay_line.h"
#include "reverb_instance.h"

// True when the history of a section is zero (either sign).
static inline bool filter_section_is_silent(const FilterSection* section)
{
    return section->x1 == 0.0f && section->x2 == 0.0f && section->y1 == 0.0f &&
           section->y2 == 0.0f;
}

// Leaves a silent section as `count` zero-valued inputs ending with `last`
// (preceded by `before_last` when count > 1) would: with a zero history
// every output is +0.0, so only the last two inputs remain in the history.
static inline void filter_section_skip_silence(FilterSection* section, uint32_t count,
                                               float before_last, float last)
{
    if (count > 1)
        filter_section_process(section, before_last);
    filter_section_process(section, last);
}

// True when nothing of the reverb path holds a value other than zero.
static inline bool reverb_instance_is_silent(const ReverbInstance* self, ReverbVariant variant)
{
    return self->idle_skip && predelay_line_is_silent(self) &&
           filter_section_is_silent(&self->pre_filter) &&
           filter_section_is_silent(&self->post_filter) &&
           filter_section_is_silent(&self->out_filter_left) &&
           (variant == ReverbVariant::mono || filter_section_is_silent(&self->out_filter_right)) &&
           reverb_engine_is_silent(self->engine_a) && reverb_engine_is_silent(self->engine_b);
}

// Advances a silent instance over a stretch of `count` reverb inputs that are
// all zero (`x`, as they would enter the input filter).
static inline void reverb_instance_skip_silence(ReverbInstance* self, ReverbVariant variant,
                                                const float* x, uint32_t count)
{
    const float before_last = count > 1 ? x[count - 2] : 0.0f;
    filter_section_skip_silence(&self->pre_filter, count, before_last, x[count - 1]);
    predelay_line_skip_silence(self, count);
    filter_section_skip_silence(&self->post_filter, count, 0.0f, 0.0f);
    reverb_engine_skip_silence(self->engine_a, int32_t(count));
    reverb_engine_skip_silence(self->engine_b, int32_t(count));
    filter_section_skip_silence(&self->out_filter_left, count, 0.0f, 0.0f);
    if (variant == ReverbVariant::stereo)
        filter_section_skip_silence(&self->out_filter_right, count, 0.0f, 0.0f);
}
