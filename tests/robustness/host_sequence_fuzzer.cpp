// Fuzz target: plays host call sequences that the LV2 rules allow against
// both plug-ins, through lv2_descriptor, and checks what a host relies on:
//   - instantiate refuses rates outside 1000..768000 Hz (and NaN) with null,
//     and accepts every rate inside;
//   - no call crashes or touches memory it does not own (the sanitizers
//     watch; every audio buffer is exactly as long as the block);
//   - every output sample is finite whenever the audio input of the call was
//     finite, whatever the control values (NaN, infinite, huge, out of range);
//   - no call leaves the host thread's floating-point mode changed;
//   - after the whole sequence the instance still gives finite output.
//
// The input is read front to back, one byte per decision, so seeds can be
// written by hand: byte 0 picks the plug-in, byte 1 the rate (see RATES),
// then each operation is one byte (see the switch in play) followed by its
// own bytes. An exhausted input reads as zeros; zero-filled tails end the
// sequence.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <lv2/core/lv2.h>

#include "control_ports.h"
#include "fp_mode.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

constexpr uint32_t MAX_BLOCK = 100000;
// A new operation starts only while fewer samples than this have run, so
// one largest block stays reachable at any point of a sequence while most
// inputs cost a few thousand samples (each sample costs about a microsecond
// under the sanitizers): short inputs are what make a million executions fit
// in half an hour.
constexpr uint64_t SAMPLE_BUDGET = 16384;
constexpr int MAX_OPERATIONS = 96;

[[noreturn]] void fail(const char* what, long detail)
{
    std::fprintf(stderr, "host_sequence_fuzzer: %s (%ld)\n", what, detail);
    std::abort();
}

struct ByteReader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool done() const { return pos >= size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(byte()) << (8 * i);
        return v;
    }
    float f32()
    {
        const uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    double f64()
    {
        const uint64_t bits = uint64_t(u32()) | (uint64_t(u32()) << 32);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
};

// Host rates: common ones, the edges of the accepted range, and absurd ones.
const double RATES[] = {48000.0, 44100.0, 1000.0,   768000.0, 22050.0, 96000.0,
                        192000.0, 8000.0, 999.999,  768000.001, 0.0,   -48000.0,
                        NAN,      INFINITY, 1e300,  44100.9};
constexpr size_t RATE_CHOICES = sizeof RATES / sizeof RATES[0];

bool rate_is_supported(double rate)
{
    return rate >= 1000.0 && rate <= 768000.0;
}

float control_value(ByteReader& in, const ControlRange& r)
{
    const uint8_t kind = in.byte();
    const float unit = float(in.byte()) / 255.0f;
    switch (kind % 14) {
    case 0: return r.default_value;
    case 1: return r.min;
    case 2: return r.max;
    case 3:
    case 4:
    case 5: return r.min + unit * (r.max - r.min);           // inside the range
    case 6: return r.min - 1.0f - unit * 1000.0f;             // below
    case 7: return r.max + 1.0f + unit * 1000.0f;             // above
    case 8: return NAN;
    case 9: return INFINITY;
    case 10: return -INFINITY;
    case 11: return (kind & 0x80) ? 1e30f : -1e30f;
    case 12: return (kind & 0x80) ? FLT_MAX : FLT_MIN * 0.25f;  // huge, or denormal
    default: return in.f32();                                  // any bit pattern
    }
}

// Fills one input channel. Kinds: silence, full-scale square, noise, 1e30,
// NaN or an infinity somewhere, denormals, FLT_MAX, raw bytes.
void fill_audio(ByteReader& in, float* buf, uint32_t n)
{
    const uint8_t kind = in.byte();
    uint32_t seed = in.u32() | 1u;
    const auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    const auto noise = [&] { return float(next() >> 8) / float(1u << 23) - 1.0f; };
    switch (kind % 10) {
    case 0:
        for (uint32_t i = 0; i < n; ++i) buf[i] = 0.0f;
        break;
    case 1:
        for (uint32_t i = 0; i < n; ++i) buf[i] = (i / 37) % 2 ? 1.0f : -1.0f;
        break;
    case 2:
    case 3:
        for (uint32_t i = 0; i < n; ++i) buf[i] = noise();
        break;
    case 4:
        for (uint32_t i = 0; i < n; ++i) buf[i] = (i % 2) ? 1e30f : -1e30f;
        break;
    case 5:
    case 6: {
        for (uint32_t i = 0; i < n; ++i) buf[i] = noise() * 0.5f;
        const float bad[3] = {NAN, INFINITY, -INFINITY};
        if (n) buf[next() % n] = bad[kind % 3];
        break;
    }
    case 7:
        for (uint32_t i = 0; i < n; ++i) buf[i] = noise() * FLT_MIN * 0.5f;
        break;
    case 8:
        for (uint32_t i = 0; i < n; ++i) buf[i] = (i % 3) ? FLT_MAX : -FLT_MAX;
        break;
    default:
        // Any bit patterns, NaNs and infinities included.
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t bits = next();
            std::memcpy(&buf[i], &bits, sizeof bits);
        }
        break;
    }
}

bool all_finite(const float* buf, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        if (!std::isfinite(buf[i]))
            return false;
    return true;
}

long first_nonfinite(const float* buf, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        if (!std::isfinite(buf[i]))
            return long(i);
    return -1;
}

uint32_t block_size(ByteReader& in)
{
    static const uint32_t SIZES[] = {0,   1,   2,   3,   5,   7,    31,   63,   64,  65,
                                     127, 128, 129, 255, 256, 257,  511,  1000, 1023, 2047,
                                     4097};
    const uint8_t pick = in.byte();
    if (pick < 240)
        return SIZES[pick % (sizeof SIZES / sizeof SIZES[0])];
    return in.u32() % (MAX_BLOCK + 1);
}

// The floating-point control bits (masks, rounding, flushing); the status
// flags may change, the mode may not.
FpMode fp_mode()
{
    return fp_mode_get() & FP_MODE_CONTROLS;
}

// One host: at most one live instance at a time, its control cells, and the
// bookkeeping the LV2 rules ask of a host (activate before run, every port
// connected to a location of the right kind and length before run).
struct Host {
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle instance = nullptr;
    bool stereo = false;
    bool activated = false;
    double rate = 0.0;
    // One heap cell per control, so a read past a control value is caught.
    std::unique_ptr<float[]> cells[CONTROL_PORT_COUNT];
    uint64_t samples = 0;

    Host()
    {
        for (uint32_t c = 0; c < CONTROL_PORT_COUNT; ++c) {
            cells[c].reset(new float[1]);
            cells[c][0] = CONTROL_RANGES[c].default_value;
        }
    }
    ~Host() { destroy(); }

    uint32_t audio_ports() const { return stereo ? 4 : 2; }

    void create(ByteReader& in)
    {
        destroy();
        stereo = in.byte() & 1;
        descriptor = lv2_descriptor(stereo ? 1 : 0);
        if (!descriptor || !descriptor->instantiate || !descriptor->run)
            fail("lv2_descriptor gave no plug-in", stereo);
        // Up to two rates from the table (or raw), then a common one.
        for (int attempt = 0; attempt < 3 && !instance; ++attempt) {
            const uint8_t pick = in.byte();
            rate = attempt == 2 ? 48000.0
                   : pick < 255 ? RATES[pick % RATE_CHOICES]
                                : in.f64();
            const FpMode mode = fp_mode();
            instance = descriptor->instantiate(descriptor, rate, "/nonexistent/bundle/", nullptr);
            if (fp_mode() != mode)
                fail("instantiate changed the floating-point mode", 0);
            if (bool(instance) != rate_is_supported(rate))
                fail(instance ? "instantiate accepted an unsupported rate"
                              : "instantiate refused a supported rate",
                     long(rate));
        }
        activated = false;
        // Control ports are connected first, in an order the input picks.
        connect_controls(in);
    }

    void destroy()
    {
        if (instance) {
            const FpMode mode = fp_mode();
            descriptor->cleanup(instance);
            if (fp_mode() != mode)
                fail("cleanup changed the floating-point mode", 0);
        }
        instance = nullptr;
    }

    void connect_controls(ByteReader& in)
    {
        // A rotation and a stride give an order; several ports may share a
        // cell, as the LV2 rules allow.
        const uint32_t start = in.byte() % CONTROL_PORT_COUNT;
        const uint8_t share = in.byte();
        for (uint32_t k = 0; k < CONTROL_PORT_COUNT; ++k) {
            const uint32_t port = (start + k * 5) % CONTROL_PORT_COUNT;
            const uint32_t cell = (share & 0x80) ? (port + share) % CONTROL_PORT_COUNT : port;
            descriptor->connect_port(instance, port, cells[cell].get());
        }
    }

    void activate()
    {
        const FpMode mode = fp_mode();
        descriptor->activate(instance);
        if (fp_mode() != mode)
            fail("activate changed the floating-point mode", 0);
        activated = true;
    }

    // Ports beyond the plug-in's own (mono 14 and 15, or anything from 16
    // up) with random locations: the plug-in must ignore or merely store them.
    void stray_connect(ByteReader& in)
    {
        static float dummy[4];
        const uint8_t pick = in.byte();
        const uint32_t port = pick < 128 ? 14 + pick % 2
                              : pick < 192 ? 16 + pick % 64
                                           : in.u32();
        if (port < STEREO_PORT_COUNT && (port < CONTROL_PORT_COUNT || port < CONTROL_PORT_COUNT + audio_ports()))
            return;  // a port of the plug-in: the run sets those up properly
        descriptor->connect_port(instance, port, (pick & 1) ? dummy : nullptr);
    }

    // One run call of n samples, with fresh buffers of exactly n floats
    // connected in a layout the input picks (separate, in place, shared).
    void run(ByteReader& in, uint32_t n)
    {
        if (!activated)
            activate();
        for (uint32_t c = 0; c < CONTROL_PORT_COUNT; ++c)
            if (in.byte() & 1)
                cells[c][0] = control_value(in, CONTROL_RANGES[c]);

        std::unique_ptr<float[]> bufs[4];
        for (auto& b : bufs)
            b.reset(new float[n]);
        const uint32_t channels = stereo ? 2 : 1;
        for (uint32_t ch = 0; ch < channels; ++ch)
            fill_audio(in, bufs[ch].get(), n);
        // Poison the output buffers: a sample the run forgets to write shows.
        for (uint32_t ch = channels; ch < 4; ++ch)
            for (uint32_t i = 0; i < n; ++i)
                bufs[ch][i] = NAN;

        float* in_l = bufs[0].get();
        float* in_r = stereo ? bufs[1].get() : nullptr;
        float* out_l = bufs[2].get();
        float* out_r = bufs[3].get();
        const uint8_t layout = in.byte();
        if (!stereo) {
            if (layout & 1)
                out_l = in_l;  // in place
        } else {
            switch (layout % 6) {
            case 0: break;
            case 1: out_l = in_l; out_r = in_r; break;  // in place
            case 2: in_r = in_l; break;                  // one input buffer for both
            case 3: out_l = in_r; out_r = in_l; break;   // crossed in place
            case 4: out_r = out_l; break;                // one output buffer for both
            default: in_r = in_l; out_l = in_l; out_r = in_l; break;  // one buffer for all
            }
        }
        if (layout & 0x80)
            connect_controls(in);

        const bool input_finite =
            all_finite(in_l, n) && (!stereo || all_finite(in_r, n));

        float* audio[4] = {in_l, out_l, in_r, out_r};
        const uint32_t first = in.byte() % audio_ports();
        for (uint32_t k = 0; k < audio_ports(); ++k) {
            const uint32_t a = (first + k) % audio_ports();
            descriptor->connect_port(instance, CONTROL_PORT_COUNT + a, audio[a]);
        }

        const FpMode mode = fp_mode();
        descriptor->run(instance, n);
        if (fp_mode() != mode)
            fail("run changed the floating-point mode", long(n));
        samples += n;

        if (input_finite) {
            const long bad_l = first_nonfinite(out_l, n);
            if (bad_l >= 0)
                fail(stereo ? "out_l not finite from finite input" : "out not finite from finite input",
                     bad_l);
            if (stereo && first_nonfinite(out_r, n) >= 0)
                fail("out_r not finite from finite input", first_nonfinite(out_r, n));
        }
        // The buffers go away now; the instance keeps their addresses until
        // they are reconnected, and must not touch them before the next run.
    }

    // After the sequence: declared defaults, finite noise, output finite.
    void check_still_sound()
    {
        if (!instance)
            return;
        if (!activated)
            activate();
        for (uint32_t c = 0; c < CONTROL_PORT_COUNT; ++c) {
            cells[c][0] = CONTROL_RANGES[c].default_value;
            descriptor->connect_port(instance, c, cells[c].get());
        }
        constexpr uint32_t N = 1024;
        std::unique_ptr<float[]> bufs[4];
        uint32_t seed = 12345;
        for (auto& b : bufs) {
            b.reset(new float[N]);
            for (uint32_t i = 0; i < N; ++i) {
                seed = seed * 1664525u + 1013904223u;
                b[i] = float(seed >> 8) / float(1u << 24) - 0.5f;
            }
        }
        for (uint32_t a = 0; a < audio_ports(); ++a)
            descriptor->connect_port(instance, CONTROL_PORT_COUNT + a, bufs[a].get());
        for (int block = 0; block < 2; ++block) {
            descriptor->run(instance, N);
            if (!all_finite(bufs[1].get(), N) || (stereo && !all_finite(bufs[3].get(), N)))
                fail("output not finite after the sequence", block);
        }
    }
};

void play(ByteReader& in)
{
    Host host;
    host.create(in);
    for (int op = 0; op < MAX_OPERATIONS && !in.done() && host.samples < SAMPLE_BUDGET; ++op) {
        const uint8_t code = in.byte();
        switch (code % 10) {
        case 0:  // a zero byte: end of the sequence
            op = MAX_OPERATIONS;
            break;
        case 1:
        case 2:
        case 3:
            host.run(in, block_size(in));
            break;
        case 4:
            host.run(in, 0);
            break;
        case 5:
            host.activate();
            break;
        case 6:
            host.connect_controls(in);
            break;
        case 7:
            host.stray_connect(in);
            break;
        case 8:
            if (host.descriptor->extension_data &&
                host.descriptor->extension_data("http://lv2plug.in/ns/ext/state#interface"))
                fail("extension_data offers an interface", 0);
            break;
        default:  // cleanup, and a new instance (the other plug-in, maybe)
            host.check_still_sound();
            host.create(in);
            break;
        }
    }
    host.check_still_sound();
    if (lv2_descriptor(2) != nullptr)
        fail("lv2_descriptor(2) is not the end of the list", 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ByteReader in{data, size};
    play(in);
    return 0;
}
