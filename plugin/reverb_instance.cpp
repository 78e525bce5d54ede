#include "reverb_instance.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "reverb_descriptors.h"

namespace {

// Construction parameters shared by both engines; only the spread differs.
constexpr float ENGINE_ROOM_SIZE = 50.0f;
constexpr float ENGINE_DECAY_TIME = 7.0f;
constexpr float ENGINE_DAMPING = 0.5f;
constexpr float ENGINE_A_SPREAD = 11.8f;
constexpr float ENGINE_B_SPREAD = 5.2f;
constexpr float ENGINE_INPUT_BANDWIDTH = 0.5f;
constexpr float ENGINE_EARLY_LEVEL = 0.5f;
constexpr float ENGINE_TAIL_LEVEL = 0.5f;

// The double nearest to -25/3: a glide time constant of 0.12 s at any rate.
constexpr double SMOOTH_RATE_FACTOR = -8.333333333333334;

// An engine built for the largest room it is handed: the room_size
// control's top, times `room_ratio` (ENGINE_A_ROOM_RATIO or 1).
ReverbEngine* create_engine(int32_t rate, float spread, double room_ratio)
{
    const float largest_room = float(double(CONTROL_RANGES[PORT_ROOM_SIZE].max) * room_ratio);
    return reverb_engine_create(rate, largest_room, ENGINE_ROOM_SIZE, ENGINE_DECAY_TIME,
                                ENGINE_DAMPING, spread, ENGINE_INPUT_BANDWIDTH,
                                ENGINE_EARLY_LEVEL, ENGINE_TAIL_LEVEL);
}

void release(ReverbInstance* self)
{
    reverb_engine_destroy(self->engine_a);
    reverb_engine_destroy(self->engine_b);
    std::free(self);
}

}  // namespace

LV2_Handle reverb_instantiate(const LV2_Descriptor*, double sample_rate, const char*,
                              const LV2_Feature* const*)
{
    // The comparison also turns away NaN.
    if (!(sample_rate >= MIN_SAMPLE_RATE && sample_rate <= MAX_SAMPLE_RATE))
        return nullptr;

    // Zero-filled, so the pre-delay memory starts silent and the engine
    // pointers are null should an engine fail below.
    auto* self = static_cast<ReverbInstance*>(std::calloc(1, sizeof(ReverbInstance)));
    if (!self)
        return nullptr;

    const int32_t engine_rate = int32_t(sample_rate);
    self->engine_a = create_engine(engine_rate, ENGINE_A_SPREAD, ENGINE_A_ROOM_RATIO);
    self->engine_b = self->engine_a ? create_engine(engine_rate, ENGINE_B_SPREAD, 1.0) : nullptr;
    if (!self->engine_b) {
        release(self);
        return nullptr;
    }

    self->wet_gain = 1.0f;
    self->predelay_write_index = 0;
    self->fade_gain = 0.0f;
    self->applied_room_size = 0.0f;
    self->dry_gain = 0.0f;
    self->predelay_smoothed = 0.0;
    self->predelay_target = 0.0;
    self->sample_rate = int64_t(sample_rate);
    self->smooth_coef = std::exp(SMOOTH_RATE_FACTOR / double(self->sample_rate));
    self->smooth_feed = 1.0 - self->smooth_coef;
    self->predelay_zero_writes = PREDELAY_CAPACITY;
    self->idle_skip = true;
    self->block_stage_skip = true;
    self->settled_variant = -1;
    return self;
}

void reverb_connect_port(LV2_Handle instance, uint32_t port, void* data)
{
    if (port >= uint32_t(PORT_SLOTS))
        return;
    static_cast<ReverbInstance*>(instance)->ports[port] = static_cast<float*>(data);
}

void reverb_activate(LV2_Handle instance)
{
    auto* self = static_cast<ReverbInstance*>(instance);
    reverb_engine_flush(self->engine_a);
    reverb_engine_flush(self->engine_b);
    self->fade_gain = 0.0f;
    std::memset(self->predelay_buffer, 0, sizeof self->predelay_buffer);
    self->predelay_zero_writes = PREDELAY_CAPACITY;
    filter_section_clear(&self->pre_filter);
    filter_section_clear(&self->post_filter);
    filter_section_clear(&self->out_filter_left);
    filter_section_clear(&self->out_filter_right);
}

void reverb_cleanup(LV2_Handle instance)
{
    release(static_cast<ReverbInstance*>(instance));
}
