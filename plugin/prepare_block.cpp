#include "prepare_block.h"

#include <cmath>
#include <cstring>

#include "control_ports.h"
#include "predelay_line.h"
#include "sse2.h"

namespace {

constexpr float DB_TO_EXPONENT = 0.05f;    // 10^(dB / 20)
constexpr double TILT_SCALE = 0.99;        // keeps the shortened band's decay above zero
constexpr double DECAY_OFFSET = 0.1;       // seconds added to both decays
constexpr double ENGINE_A_EARLY_SHARE = 0.5;   // high band's early reflections at half level

// The filter designs are sound only strictly below half the sample rate, so
// the band frequencies (and, at rates below 2223 Hz, the low cut) are also
// held at or below this share of the rate.
constexpr double FILTER_FREQ_MAX_RATIO = 0.45;

// A control the formulas cannot take outside its declared range: held in the
// range, NaN replaced by the default. Values inside the range pass unchanged.
inline float clamp_to_range(float v, PortIndex port)
{
    const ControlRange& range = CONTROL_RANGES[port];
    if (std::isnan(v))
        return range.default_value;
    if (v < range.min)
        return range.min;
    if (v > range.max)
        return range.max;
    return v;
}

// The smaller of two values neither of which is NaN (std::fmin's result
// for them, without its call).
inline float smaller(float a, float b)
{
    return b < a ? b : a;
}

// Larger of v and lo, then the smaller of that and hi; NaN gives lo.
inline float clamp_nan_to_min(float v, float lo, float hi)
{
    const float larger = v > lo ? v : lo;
    return larger < hi ? larger : hi;
}

// The twelve control values of one call, each read once, in port order.
struct ControlValues {
    float mix, decay, damping, bandwidth, room_size, tail_level, decay_tilt;
    float high_band_freq, low_band_freq, low_cut, predelay, wet_level;
};
static_assert(sizeof(ControlValues) == CONTROL_PORT_COUNT * sizeof(float), "one float per control");

ControlValues read_controls(const ReverbInstance* self)
{
    const auto port = [self](PortIndex index) { return *self->ports[index]; };
    return {port(PORT_MIX),           port(PORT_DECAY),         port(PORT_DAMPING),
            port(PORT_BANDWIDTH),     port(PORT_ROOM_SIZE),     port(PORT_TAIL_LEVEL),
            port(PORT_DECAY_TILT),    port(PORT_HIGH_BAND_FREQ), port(PORT_LOW_BAND_FREQ),
            port(PORT_LOW_CUT),       port(PORT_PREDELAY),      port(PORT_WET_LEVEL)};
}

// One bit per control, by port index.
constexpr uint32_t control_bit(PortIndex port)
{
    return 1u << port;
}
constexpr uint32_t ALL_CONTROLS = (1u << CONTROL_PORT_COUNT) - 1u;

// The controls whose values differ, bit for bit, from those the block
// stage last worked from: four controls to an instruction, the bits of each
// compared as integers, one mask bit per control.
uint32_t differing_controls(const ReverbInstance* self, const ControlValues& c)
{
    static_assert(CONTROL_PORT_COUNT % 4 == 0, "whole groups of four controls");
    const auto* now = reinterpret_cast<const unsigned char*>(&c);
    const auto* before = reinterpret_cast<const unsigned char*>(self->settled_controls);
    uint32_t same = 0;
    for (uint32_t k = 0; k < CONTROL_PORT_COUNT; k += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(now + 4 * k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(before + 4 * k));
        same |= uint32_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, b)))) << k;
    }
    return ~same & ALL_CONTROLS;
}

inline bool same_bits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Keeps every control inside the range where the engines stay stable and the
// filter designs sound. Room size, low cut and pre-delay are limited later,
// where their own rules apply; the wet level only from above, since -90 and
// below (and NaN) mean silence.
void condition_controls(ControlValues* c, float sample_rate)
{
    c->mix = clamp_to_range(c->mix, PORT_MIX);
    c->decay = clamp_to_range(c->decay, PORT_DECAY);
    c->damping = clamp_to_range(c->damping, PORT_DAMPING);
    c->bandwidth = clamp_to_range(c->bandwidth, PORT_BANDWIDTH);
    c->tail_level = clamp_to_range(c->tail_level, PORT_TAIL_LEVEL);
    c->decay_tilt = clamp_to_range(c->decay_tilt, PORT_DECAY_TILT);

    const float freq_limit = float(double(sample_rate) * FILTER_FREQ_MAX_RATIO);
    c->high_band_freq = smaller(clamp_to_range(c->high_band_freq, PORT_HIGH_BAND_FREQ), freq_limit);
    c->low_band_freq = smaller(clamp_to_range(c->low_band_freq, PORT_LOW_BAND_FREQ), freq_limit);

    if (c->wet_level > CONTROL_RANGES[PORT_WET_LEVEL].max)
        c->wet_level = CONTROL_RANGES[PORT_WET_LEVEL].max;
}

// The filter designs of the controls in `changed`. The two output sections
// of the stereo plug-in share one design, worked out once (twice, as
// written, with skipping turned off).
void design_filters(ReverbInstance* self, const ControlValues& c, float rate, uint32_t changed,
                    ReverbVariant variant)
{
    if (changed & control_bit(PORT_LOW_CUT)) {
        // The low cut keeps its own 20..1000 Hz limits (NaN gives 20); only at
        // rates below 2223 Hz, where 1000 Hz reaches the rate's upper band, is
        // it also held at FILTER_FREQ_MAX_RATIO of the rate.
        const ControlRange& range = CONTROL_RANGES[PORT_LOW_CUT];
        float low_cut = clamp_nan_to_min(c.low_cut, range.min, range.max);
        low_cut = smaller(low_cut, float(double(rate) * FILTER_FREQ_MAX_RATIO));
        filter_section_highpass(&self->pre_filter, low_cut, rate, LOW_CUT_BANDWIDTH);
    }
    if (changed & control_bit(PORT_HIGH_BAND_FREQ))
        filter_section_highpass(&self->post_filter, c.high_band_freq, rate, BAND_BANDWIDTH);
    if (changed & control_bit(PORT_LOW_BAND_FREQ)) {
        FilterSection* left = &self->out_filter_left;
        filter_section_lowpass(left, c.low_band_freq, rate, BAND_BANDWIDTH);
        if (variant == ReverbVariant::stereo && !self->block_stage_skip) {
            filter_section_lowpass(&self->out_filter_right, c.low_band_freq, rate,
                                   BAND_BANDWIDTH);
        } else if (variant == ReverbVariant::stereo) {
            FilterSection* right = &self->out_filter_right;
            right->fb1 = left->fb1;
            right->fb2 = left->fb2;
            right->ff0 = left->ff0;
            right->ff1 = left->ff1;
            right->ff2 = left->ff2;
        }
    }
}

// Room size and decay time of one engine. The room size reaches it only
// when it changes (`new_room`), and before the decay time, which the
// room-size setter reads. The decay time reaches it only when it differs
// from the engine's, or always when there is nothing to go by (`full`): the
// same decay time gives the same decay factor and gains, and a room size set
// alone works out its gains from the decay factor that decay time gave.
// With skipping turned off, both setters run as written, every call.
void tune_engine(ReverbEngine* engine, bool skip, bool full, bool new_room, float room,
                 float decay)
{
    if (!skip) {
        if (new_room)
            reverb_engine_set_room_size(engine, room);
        reverb_engine_set_decay_time(engine, decay);
        return;
    }
    const bool new_decay = full || !same_bits(decay, engine->decay_time);
    if (new_room && new_decay)
        reverb_engine_set_room_size_and_decay_time(engine, room, decay);
    else if (new_room)
        reverb_engine_set_room_size(engine, room);
    else if (new_decay)
        reverb_engine_set_decay_time(engine, decay);
}

// The block stage for controls of which some changed: what the controls
// that have not changed since the block stage before derive is already in
// force, bit for bit, so only what the changed ones touch is worked out
// again. Kept out of line, so a block stage that finds nothing changed
// stays short.
__attribute__((noinline)) BlockTargets prepare_changed_block(ReverbInstance* self,
                                                             ReverbVariant variant,
                                                             ControlValues c, uint32_t differ)
{
    const float rate = float(self->sample_rate);
    const int32_t variant_code = int32_t(variant);
    // All of them when there is nothing to go by.
    const bool full = !self->block_stage_skip || self->settled_variant != variant_code;
    const uint32_t changed = full ? ALL_CONTROLS : differ;
    std::memcpy(self->settled_controls, &c, sizeof c);
    self->settled_variant = variant_code;

    condition_controls(&c, rate);

    if (changed & control_bit(PORT_PREDELAY))
        predelay_line_set_target(self, c.predelay);

    BlockTargets targets;
    if (changed & control_bit(PORT_WET_LEVEL))
        self->wet_level_gain =
            c.wet_level > WET_LEVEL_SILENT_DB ? powf(10.0f, c.wet_level * DB_TO_EXPONENT) : 0.0f;
    targets.dry_target = 1.0f - c.mix;
    if (c.wet_level > WET_LEVEL_SILENT_DB)
        targets.wet_target = float(double(self->wet_level_gain) * (1.0 - double(targets.dry_target)));
    else
        targets.wet_target = 0.0f;

    // Decay split: a positive tilt shortens the low band (engine_b) and
    // lowers its level, a negative one shortens the high band (engine_a).
    const float k = float(double(c.decay_tilt) * TILT_SCALE);
    float base_a = c.decay;
    float base_b = c.decay;
    targets.low_band_scale = 1.0f;
    if (k > 0.0f) {
        base_b = (1.0f - k) * c.decay;
        targets.low_band_scale = float(1.0 - double(k));
    } else if (!(k == 0.0f)) {  // negative, or NaN
        base_a = (1.0f + k) * c.decay;
    }
    const float decay_a = float(double(base_a) + DECAY_OFFSET);
    const float decay_b = float(double(base_b) + DECAY_OFFSET);

    design_filters(self, c, rate, changed, variant);

    // A new room fades in again.
    const ControlRange& room_range = CONTROL_RANGES[PORT_ROOM_SIZE];
    const float size = clamp_nan_to_min(c.room_size, room_range.min, room_range.max);
    const bool new_room = size != self->applied_room_size;
    if (new_room) {
        self->applied_room_size = size;
        self->fade_gain = 0.0f;
    }
    const bool skip = self->block_stage_skip;
    tune_engine(self->engine_a, skip, full, new_room, float(double(size) * ENGINE_A_ROOM_RATIO),
                decay_a);
    tune_engine(self->engine_b, skip, full, new_room, size, decay_b);

    // The levels and coefficients each follow one control (with nothing to
    // go by, or skipping turned off, `changed` holds every control).
    if (changed & control_bit(PORT_DAMPING)) {
        reverb_engine_set_damping(self->engine_a, c.damping);
        reverb_engine_set_damping(self->engine_b, c.damping);
    }
    if (changed & control_bit(PORT_BANDWIDTH)) {
        reverb_engine_set_input_bandwidth(self->engine_a, c.bandwidth);
        reverb_engine_set_input_bandwidth(self->engine_b, c.bandwidth);
    }
    if (changed & control_bit(PORT_TAIL_LEVEL)) {
        reverb_engine_set_tail_level(self->engine_a, c.tail_level);
        reverb_engine_set_early_level(
            self->engine_a, float(ENGINE_A_EARLY_SHARE * (1.0 - double(c.tail_level))));
        reverb_engine_set_tail_level(self->engine_b, c.tail_level);
        reverb_engine_set_early_level(self->engine_b, 1.0f - c.tail_level);
    }

    self->settled_wet_target = targets.wet_target;
    self->settled_dry_target = targets.dry_target;
    self->settled_low_band_scale = targets.low_band_scale;
    return targets;
}

}  // namespace

BlockTargets prepare_block(ReverbInstance* self, ReverbVariant variant)
{
    const ControlValues c = read_controls(self);
    const uint32_t differ = differing_controls(self, c);
    if (differ == 0 && self->settled_variant == int32_t(variant) && self->block_stage_skip)
        return {self->settled_wet_target, self->settled_dry_target, self->settled_low_band_scale};
    return prepare_changed_block(self, variant, c, differ);
}

namespace {

constexpr double FADE_STEP = 0.01;

// One step of `gain` toward `target`; a NaN target makes the gain rise.
inline float step_toward(float gain, float target, double step)
{
    double g = double(gain);
    const double t = double(target);
    if (!(g >= t - step))
        g = g + step;
    else if (g > t + step)
        g = g - step;
    else
        g = t;
    return float(g);
}

}  // namespace

void step_gains(ReverbInstance* self, BlockTargets* targets, double step)
{
    if (!(self->fade_gain >= 1.0f))
        self->fade_gain = float(double(self->fade_gain) + FADE_STEP);
    self->wet_gain = step_toward(self->wet_gain, targets->wet_target, step);
    targets->wet_target = self->wet_gain;
    self->dry_gain = step_toward(self->dry_gain, targets->dry_target, step);
    targets->dry_target = self->dry_gain;
}
