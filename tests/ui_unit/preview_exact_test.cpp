// The preview is what the plug-in plays: its left and right curves come,
// bit for bit, from the built plug-in module fed the same silence, the same
// impulse and the same block length at the same settings, also when a
// render is restarted half-way with new settings; its decay times per
// octave are those of the module's own wet output, filtered and integrated
// apart; and the knobs that shape the decay move them.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include <lv2/core/lv2.h>

#include "octave_decay.h"
#include "preview_render.h"
#include "reverb_descriptors.h"
#include "rt60.h"

namespace {

struct Setting {
    const char* name;
    double rate;
    float controls[CONTROL_PORT_COUNT];
};

Setting defaults(const char* name, double rate)
{
    Setting s{name, rate, {}};
    for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p)
        s.controls[p] = CONTROL_RANGES[p].default_value;
    return s;
}

Setting large_bright(double rate)
{
    Setting s = defaults("large-bright", rate);
    s.controls[PORT_ROOM_SIZE] = 120.0f;
    s.controls[PORT_DECAY] = 2.5f;
    s.controls[PORT_PREDELAY] = 75.0f;
    s.controls[PORT_DECAY_TILT] = 0.4f;
    s.controls[PORT_HIGH_BAND_FREQ] = 2500.0f;
    s.controls[PORT_MIX] = 0.6f;
    s.controls[PORT_WET_LEVEL] = -3.0f;
    return s;
}

struct Response {
    std::vector<float> left, right;
};

// What a host hears from a fresh instance of `plugin`: settle frames of
// silence, then a unit impulse on the (left) input, in PREVIEW_BLOCK blocks.
Response plugin_response(const LV2_Descriptor* plugin, const Setting& s, bool stereo,
                         uint64_t frames)
{
    Response r;
    float controls[CONTROL_PORT_COUNT];
    std::memcpy(controls, s.controls, sizeof controls);
    std::vector<float> in_l(PREVIEW_BLOCK), in_r(PREVIEW_BLOCK), out_l(PREVIEW_BLOCK),
        out_r(PREVIEW_BLOCK);
    LV2_Handle h = plugin->instantiate(plugin, s.rate, "", nullptr);
    if (!h)
        return r;
    for (uint32_t p = 0; p < CONTROL_PORT_COUNT; ++p)
        plugin->connect_port(h, p, &controls[p]);
    plugin->connect_port(h, PORT_IN_L, in_l.data());
    plugin->connect_port(h, PORT_OUT_L, out_l.data());
    if (stereo) {
        plugin->connect_port(h, PORT_IN_R, in_r.data());
        plugin->connect_port(h, PORT_OUT_R, out_r.data());
    }
    plugin->activate(h);
    for (uint32_t done = 0; done < preview_settle_frames(s.rate); done += PREVIEW_BLOCK)
        plugin->run(h, PREVIEW_BLOCK);
    in_l[0] = 1.0f;
    while (r.left.size() < frames) {
        plugin->run(h, PREVIEW_BLOCK);
        in_l[0] = 0.0f;
        r.left.insert(r.left.end(), out_l.begin(), out_l.end());
        r.right.insert(r.right.end(), (stereo ? out_r : out_l).begin(), (stereo ? out_r : out_l).end());
    }
    r.left.resize(frames);
    r.right.resize(frames);
    plugin->cleanup(h);
    return r;
}

// Renders the whole preview, block by block, keeping the response frames.
Response preview_response(PreviewRender* preview)
{
    Response r;
    for (int guard = 0; guard < 100000000 && preview_busy(preview); ++guard) {
        const float *left = nullptr, *right = nullptr;
        const uint32_t n = preview_render_block(preview, &left, &right);
        r.left.insert(r.left.end(), left ? left : nullptr, left ? left + n : nullptr);
        r.right.insert(r.right.end(), right ? right : nullptr, right ? right + n : nullptr);
    }
    return r;
}

// The whole preview of `s`, rendered at once.
PreviewRender* rendered(bool stereo, const Setting& s)
{
    PreviewRender* preview = preview_create(stereo ? &stereo_descriptor : &mono_descriptor, s.rate);
    if (preview) {
        preview_start(preview, s.controls);
        while (!preview_step(preview, 1.0)) {
        }
    }
    return preview;
}

// Each octave band's decay time of a whole response: each channel through
// the band's sections one after the other (direct form I), its energy
// binned as the preview bins it, the backward-integration fit.
std::vector<Rt60> octave_figures(const Response& r, bool stereo, double rate)
{
    std::vector<Rt60> figures(OCTAVE_BANDS, Rt60{Rt60Kind::silent, 0.0f});
    const size_t frames = r.left.size();
    for (int band = 0; band < OCTAVE_BANDS; ++band) {
        OctaveSection sections[OCTAVE_SECTIONS];
        if (!octave_band_design(band, rate, sections))
            continue;
        std::vector<double> energy(PREVIEW_BINS, 0.0);
        for (const std::vector<float>* channel : {&r.left, &r.right}) {
            if (channel == &r.right && !stereo)
                continue;
            std::vector<double> x(channel->begin(), channel->end());
            for (const OctaveSection& f : sections) {
                double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
                for (double& v : x) {
                    const double y = f.gain * (v - x2) - f.a1 * y1 - f.a2 * y2;
                    x2 = x1;
                    x1 = v;
                    y2 = y1;
                    y1 = y;
                    v = y;
                }
            }
            for (size_t n = 0; n < frames; ++n)
                energy[n * PREVIEW_BINS / frames] += x[n] * x[n];
        }
        figures[size_t(band)] =
            rt60_measure(energy.data(), PREVIEW_BINS, double(frames) / rate / PREVIEW_BINS);
    }
    return figures;
}

bool same_bits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

class PreviewExact : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = dlopen(HALVANE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(module, "lv2_descriptor"));
        ASSERT_NE(entry, nullptr);
        for (uint32_t i = 0; const LV2_Descriptor* d = entry(i); ++i) {
            if (std::strcmp(d->URI, HALVANE_MONO_URI) == 0)
                module_mono = d;
            if (std::strcmp(d->URI, HALVANE_STEREO_URI) == 0)
                module_stereo = d;
        }
        ASSERT_TRUE(module_mono && module_stereo);
    }
    void TearDown() override
    {
        if (module)
            dlclose(module);
    }
    void* module = nullptr;
    const LV2_Descriptor* module_mono = nullptr;
    const LV2_Descriptor* module_stereo = nullptr;
};

TEST_F(PreviewExact, OutputsAreThePluginsOwnBitForBit)
{
    const Setting settings[] = {defaults("defaults", 48000.0), large_bright(44100.0),
                                large_bright(96000.0)};
    for (bool stereo : {true, false}) {
        for (const Setting& s : settings) {
            SCOPED_TRACE(std::string(stereo ? "stereo " : "mono ") + s.name + " at " +
                         std::to_string(int(s.rate)));
            PreviewRender* preview =
                preview_create(stereo ? &stereo_descriptor : &mono_descriptor, s.rate);
            ASSERT_NE(preview, nullptr);
            // A render of other settings, dropped half-way, must leave no trace.
            const Setting other = stereo ? large_bright(s.rate) : defaults("", s.rate);
            preview_start(preview, other.controls);
            for (int i = 0; i < 200; ++i)
                preview_render_block(preview, nullptr, nullptr);
            preview_start(preview, s.controls);
            const Response got = preview_response(preview);

            const uint64_t frames = preview_response_frames(s.controls, s.rate);
            ASSERT_EQ(got.left.size(), frames);
            const Response want =
                plugin_response(stereo ? module_stereo : module_mono, s, stereo, frames);
            EXPECT_TRUE(same_bits(got.left, want.left));
            EXPECT_TRUE(same_bits(got.right, want.right));

            // The picture made of it is complete and holds finite numbers.
            const PreviewPicture* picture = preview_picture(preview);
            EXPECT_TRUE(picture->complete);
            for (const auto& curve : picture->peak_db)
                for (float v : curve)
                    ASSERT_TRUE(std::isfinite(v));
            for (const Rt60& r : picture->rt60) {
                EXPECT_EQ(r.kind, Rt60Kind::measured);
                EXPECT_TRUE(r.seconds > 0.0f && r.seconds < 30.0f);
            }
            preview_destroy(preview);
        }
    }
}

TEST_F(PreviewExact, OctaveFiguresAreThoseOfTheModulesWetOutput)
{
    // The module at mix 1 gives the wet signal alone; the preview measures
    // its two bands at the setting's own mix, the direct sound left out.
    Setting dark = defaults("dark", 96000.0);
    dark.controls[PORT_DAMPING] = 0.9f;
    dark.controls[PORT_DECAY_TILT] = -0.6f;
    dark.controls[PORT_LOW_BAND_FREQ] = 300.0f;
    const struct {
        bool stereo;
        Setting setting;
        int bands;
    } cases[] = {{true, defaults("defaults", 48000.0), 8},
                 {true, large_bright(44100.0), 8},
                 {false, dark, 8},
                 {false, defaults("low rate", 22050.0), 7}};
    for (const auto& c : cases) {
        const Setting& s = c.setting;
        SCOPED_TRACE(std::string(c.stereo ? "stereo " : "mono ") + s.name);
        PreviewRender* preview = rendered(c.stereo, s);
        ASSERT_NE(preview, nullptr);
        const PreviewPicture* picture = preview_picture(preview);
        Setting wet = s;
        wet.controls[PORT_MIX] = 1.0f;
        const Response r = plugin_response(c.stereo ? module_stereo : module_mono, wet, c.stereo,
                                           preview_response_frames(s.controls, s.rate));
        const std::vector<Rt60> want = octave_figures(r, c.stereo, s.rate);
        EXPECT_EQ(picture->octave_bands, c.bands);
        for (int band = 0; band < OCTAVE_BANDS; ++band) {
            SCOPED_TRACE(testing::Message() << OCTAVE_CENTRE_HZ[band] << " Hz");
            const Rt60& got = picture->octave_rt60[band];
            EXPECT_EQ(got.kind, band < c.bands ? Rt60Kind::measured : Rt60Kind::silent);
            EXPECT_EQ(got.kind, want[size_t(band)].kind);
            EXPECT_NEAR(got.seconds, want[size_t(band)].seconds, 1e-4 * want[size_t(band)].seconds);
        }
        preview_destroy(preview);
    }
}

TEST(PreviewOctaves, DampingTiltAndBandFrequencyMoveTheFigures)
{
    const struct {
        const char* what;
        PortIndex port;
        float from, to;
        float tilt;  // decay_tilt for both
        int band;
        float ratio;  // the band's figure at `to` over that at `from`, at most or at least
        bool falls;
    } cases[] = {
        {"damping 0.1 -> 0.9 shortens 8 kHz", PORT_DAMPING, 0.1f, 0.9f, 0.0f, 7, 0.75f, true},
        {"tilt -0.8 -> +0.8 shortens 63 Hz", PORT_DECAY_TILT, -0.8f, 0.8f, 0.0f, 0, 0.75f, true},
        {"tilt -0.8 -> +0.8 lengthens 2 kHz", PORT_DECAY_TILT, -0.8f, 0.8f, 0.0f, 5, 1.3f, false},
        {"high band 300 Hz -> 3 kHz, the high band shorter, lengthens 2 kHz",
         PORT_HIGH_BAND_FREQ, 300.0f, 3000.0f, -0.8f, 5, 1.2f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        float seconds[2];
        for (int i = 0; i < 2; ++i) {
            Setting s = defaults("", 48000.0);
            if (c.port != PORT_DECAY_TILT)
                s.controls[PORT_DECAY_TILT] = c.tilt;
            s.controls[c.port] = i == 0 ? c.from : c.to;
            PreviewRender* preview = rendered(true, s);
            ASSERT_NE(preview, nullptr);
            ASSERT_EQ(preview_picture(preview)->octave_rt60[c.band].kind, Rt60Kind::measured);
            seconds[i] = preview_picture(preview)->octave_rt60[c.band].seconds;
            preview_destroy(preview);
        }
        if (c.falls)
            EXPECT_LT(seconds[1], c.ratio * seconds[0]) << seconds[0] << " s -> " << seconds[1] << " s";
        else
            EXPECT_GT(seconds[1], c.ratio * seconds[0]) << seconds[0] << " s -> " << seconds[1] << " s";
    }
}

}  // namespace
