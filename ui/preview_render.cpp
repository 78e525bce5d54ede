#include "preview_render.h"

#include <cmath>
#include <cstring>
#include <cstdlib>

#include "control_model.h"
#include "octave_decay.h"
#include "reverb_bands.h"
#include "reverb_descriptors.h"
#include "reverb_engine_tuning.h"
#include "rt60.h"
#include "ui_clock.h"

namespace {

constexpr uint32_t SETTLE_MIN_FRAMES = 16384;
constexpr double MIN_SECONDS = 0.5;
constexpr double DECAY_SHARE = 1.2;      // decay times rendered after the start
constexpr double TAIL_MARGIN = 0.2;      // seconds added after all that

}  // namespace

struct PreviewRender {
    const LV2_Descriptor* plugin;
    bool stereo;
    double rate;
    LV2_Handle output;   // the plug-in as a host runs it: the left and right curves
    LV2_Handle bands;    // the same, split into its bands
    float controls[CONTROL_PORT_COUNT];
    float in_left[PREVIEW_BLOCK], in_right[PREVIEW_BLOCK];
    float out_left[PREVIEW_BLOCK], out_right[PREVIEW_BLOCK];
    float high_left[PREVIEW_BLOCK], high_right[PREVIEW_BLOCK];
    float low_left[PREVIEW_BLOCK], low_right[PREVIEW_BLOCK];
    uint32_t settle_total, settle_left;
    uint64_t response_frames, response_done;
    bool busy;
    float peak[PREVIEW_CURVES][PREVIEW_BINS];  // largest magnitude per bin
    double energy[2][PREVIEW_BINS];            // per band: sum of squares per bin
    float wet_left[PREVIEW_BLOCK], wet_right[PREVIEW_BLOCK];  // both bands together
    OctaveDecay octaves;                       // of the wet response
    PreviewPicture work;                       // the render under way
    PreviewPicture shown;                      // the last complete render
    bool have_shown;
};

namespace {

void release_instances(PreviewRender* p)
{
    if (p->output)
        p->plugin->cleanup(p->output);
    if (p->bands)
        p->plugin->cleanup(p->bands);
    p->output = p->bands = nullptr;
}

// A fresh instance with its ports on the render's buffers, activated.
LV2_Handle make_instance(PreviewRender* p, bool for_bands)
{
    LV2_Handle h = p->plugin->instantiate(p->plugin, p->rate, "", nullptr);
    if (!h)
        return nullptr;
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
        p->plugin->connect_port(h, port, &p->controls[port]);
    // The band instance's outputs take the silence before the impulse only.
    p->plugin->connect_port(h, PORT_IN_L, p->in_left);
    p->plugin->connect_port(h, PORT_OUT_L, for_bands ? p->high_left : p->out_left);
    if (p->stereo) {
        p->plugin->connect_port(h, PORT_IN_R, p->in_right);
        p->plugin->connect_port(h, PORT_OUT_R, for_bands ? p->high_right : p->out_right);
    }
    if (p->plugin->activate)
        p->plugin->activate(h);
    return h;
}

float level_db(float peak)
{
    if (!(peak > 0.0f) || !std::isfinite(peak))
        return PREVIEW_FLOOR_DB;
    const float db = float(20.0 * std::log10(double(peak)));
    return db > PREVIEW_FLOOR_DB ? db : PREVIEW_FLOOR_DB;
}

float magnitude(float v) { return std::isfinite(v) ? std::fabs(v) : 0.0f; }

void finish(PreviewRender* p)
{
    const double bin_seconds = p->work.seconds / PREVIEW_BINS;
    p->work.rt60[0] = rt60_measure(p->energy[0], PREVIEW_BINS, bin_seconds);
    p->work.rt60[1] = rt60_measure(p->energy[1], PREVIEW_BINS, bin_seconds);
    octave_decay_measure(&p->octaves, bin_seconds, p->work.octave_rt60);
    p->work.octave_bands = p->octaves.bands;
    p->work.bins_done = PREVIEW_BINS;
    p->work.complete = true;
    p->shown = p->work;
    p->have_shown = true;
    p->busy = false;
    release_instances(p);
}

// Adds the response frames of the block just run to the bins.
void collect(PreviewRender* p, uint32_t n)
{
    const uint64_t first = p->response_done;
    int first_bin = PREVIEW_BINS, last_bin = 0;
    for (uint32_t j = 0; j < n; ++j) {
        const int bin = int((first + j) * PREVIEW_BINS / p->response_frames);
        first_bin = bin < first_bin ? bin : first_bin;
        last_bin = bin;
        const float left = magnitude(p->out_left[j]);
        const float right = magnitude(p->stereo ? p->out_right[j] : p->out_left[j]);
        float high = magnitude(p->high_left[j]);
        float low = magnitude(p->low_left[j]);
        double high_energy = double(high) * high;
        double low_energy = double(low) * low;
        if (p->stereo) {
            const float high_r = magnitude(p->high_right[j]);
            const float low_r = magnitude(p->low_right[j]);
            high_energy += double(high_r) * high_r;
            low_energy += double(low_r) * low_r;
            high = high_r > high ? high_r : high;
            low = low_r > low ? low_r : low;
        }
        float* peaks[PREVIEW_CURVES] = {&p->peak[PREVIEW_LEFT][bin], &p->peak[PREVIEW_RIGHT][bin],
                                        &p->peak[PREVIEW_HIGH][bin], &p->peak[PREVIEW_LOW][bin]};
        const float values[PREVIEW_CURVES] = {left, right, high, low};
        for (int c = 0; c < PREVIEW_CURVES; ++c)
            if (values[c] > *peaks[c])
                *peaks[c] = values[c];
        p->energy[0][bin] += high_energy;
        p->energy[1][bin] += low_energy;
        p->wet_left[j] = p->high_left[j] + p->low_left[j];
        p->wet_right[j] = p->high_right[j] + p->low_right[j];
    }
    octave_decay_feed(&p->octaves, p->wet_left, p->wet_right, n);
    for (int bin = first_bin; bin <= last_bin && bin < PREVIEW_BINS; ++bin)
        for (int c = 0; c < PREVIEW_CURVES; ++c)
            p->work.peak_db[c][bin] = level_db(p->peak[c][bin]);
    p->response_done += n;
    p->work.bins_done = int(p->response_done * PREVIEW_BINS / p->response_frames);
}

}  // namespace

uint32_t preview_settle_frames(double sample_rate)
{
    double frames = std::isfinite(sample_rate) && sample_rate > 0.0 ? sample_rate : 0.0;
    frames = frames > SETTLE_MIN_FRAMES ? frames : SETTLE_MIN_FRAMES;
    frames = frames < 1e7 ? frames : 1e7;
    const uint32_t blocks = uint32_t(std::ceil(frames / PREVIEW_BLOCK));
    return blocks * PREVIEW_BLOCK;
}

uint64_t preview_response_frames(const float* controls, double sample_rate)
{
    const double predelay = double(control_sanitize(PORT_PREDELAY, controls[PORT_PREDELAY])) * 0.001;
    const double room = double(control_sanitize(PORT_ROOM_SIZE, controls[PORT_ROOM_SIZE]));
    const double decay = double(control_sanitize(PORT_DECAY, controls[PORT_DECAY]));
    // The room's longest path at the engine's own speed of sound.
    double seconds = predelay + room * SECONDS_PER_METRE + DECAY_SHARE * decay + TAIL_MARGIN;
    seconds = seconds > MIN_SECONDS ? seconds : MIN_SECONDS;
    seconds = seconds < PREVIEW_MAX_SECONDS ? seconds : PREVIEW_MAX_SECONDS;
    const double rate = std::isfinite(sample_rate) && sample_rate > 0.0 ? sample_rate : 48000.0;
    const uint64_t frames = uint64_t(std::ceil(seconds * rate));
    return frames > PREVIEW_BINS ? frames : PREVIEW_BINS;
}

PreviewRender* preview_create(const LV2_Descriptor* plugin, double sample_rate)
{
    if (!plugin)
        return nullptr;
    PreviewRender* p = static_cast<PreviewRender*>(std::calloc(1, sizeof(PreviewRender)));
    if (!p)
        return nullptr;
    p->plugin = plugin;
    p->stereo = plugin == &stereo_descriptor;
    p->rate = sample_rate;
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
        p->controls[port] = CONTROL_RANGES[port].default_value;
    // One instance now, to learn that the plug-in takes this rate at all.
    p->output = make_instance(p, false);
    if (!p->output) {
        std::free(p);
        return nullptr;
    }
    release_instances(p);
    preview_picture_clear(&p->work, p->stereo ? 2 : 1, true, 1.0);
    preview_picture_clear(&p->shown, p->stereo ? 2 : 1, true, 1.0);
    return p;
}

void preview_start(PreviewRender* p, const float controls[CONTROL_PORT_COUNT])
{
    if (!p)
        return;
    release_instances(p);
    std::memcpy(p->controls, controls, sizeof p->controls);
    std::memset(p->in_left, 0, sizeof p->in_left);
    std::memset(p->in_right, 0, sizeof p->in_right);
    // Fresh instances, so the response is the one a new instance gives after
    // the silence, whatever was rendered before.
    p->output = make_instance(p, false);
    p->bands = p->output ? make_instance(p, true) : nullptr;
    p->busy = p->bands != nullptr;
    if (!p->busy) {
        release_instances(p);
        return;
    }
    p->settle_total = p->settle_left = preview_settle_frames(p->rate);
    p->response_frames = preview_response_frames(controls, p->rate);
    p->response_done = 0;
    std::memset(p->peak, 0, sizeof p->peak);
    std::memset(p->energy, 0, sizeof p->energy);
    preview_picture_clear(&p->work, p->stereo ? 2 : 1, true, double(p->response_frames) / p->rate);
    p->work.predelay_ms = control_sanitize(PORT_PREDELAY, controls[PORT_PREDELAY]);
    octave_decay_start(&p->octaves, p->rate, p->stereo ? 2 : 1, p->response_frames);
}

uint32_t preview_render_block(PreviewRender* p, const float** left, const float** right)
{
    if (!p || !p->busy)
        return 0;
    if (p->settle_left > 0) {
        p->plugin->run(p->output, PREVIEW_BLOCK);
        p->plugin->run(p->bands, PREVIEW_BLOCK);
        p->settle_left -= PREVIEW_BLOCK;
        return 0;
    }
    // The impulse: one full-scale sample on the (left) input.
    p->in_left[0] = p->response_done == 0 ? 1.0f : 0.0f;
    p->plugin->run(p->output, PREVIEW_BLOCK);
    if (p->stereo)
        reverb_run_bands_stereo(p->bands, PREVIEW_BLOCK, p->high_left, p->high_right,
                                p->low_left, p->low_right);
    else
        reverb_run_bands_mono(p->bands, PREVIEW_BLOCK, p->high_left, p->low_left);
    p->in_left[0] = 0.0f;
    const uint64_t remaining = p->response_frames - p->response_done;
    const uint32_t n = remaining < PREVIEW_BLOCK ? uint32_t(remaining) : PREVIEW_BLOCK;
    collect(p, n);
    if (left)
        *left = p->out_left;
    if (right)
        *right = p->stereo ? p->out_right : p->out_left;
    if (p->response_done >= p->response_frames)
        finish(p);
    return n;
}

bool preview_step(PreviewRender* p, double budget_seconds)
{
    if (!p)
        return true;
    const double start = ui_now();
    while (p->busy) {
        preview_render_block(p, nullptr, nullptr);
        if (ui_now() - start >= budget_seconds)
            break;
    }
    return !p->busy;
}

bool preview_busy(const PreviewRender* p) { return p && p->busy; }

double preview_progress(const PreviewRender* p)
{
    if (!p || !p->busy)
        return 1.0;
    const double total = double(p->settle_total) + double(p->response_frames);
    return (double(p->settle_total - p->settle_left) + double(p->response_done)) / total;
}

const PreviewPicture* preview_picture(const PreviewRender* p)
{
    if (!p)
        return nullptr;
    return p->have_shown ? &p->shown : &p->work;
}

void preview_destroy(PreviewRender* p)
{
    if (!p)
        return;
    release_instances(p);
    std::free(p);
}
