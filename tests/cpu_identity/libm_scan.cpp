// Evaluates the maths library the way the plug-in calls it, over whole
// ranges of arguments, and writes the result bits to a file, so that two
// runs (with the C library's FMA variants and with its plain ones) can be
// compared. The formulas are the plug-in's, step for step:
//   - exp(-25/3 / rate): the pre-delay's glide coefficient, kept as a
//     double; one value per whole rate from 1000 to 768000 Hz;
//   - pow(0.001, 1 / n), n = rate * 7 s: the engines' decay factor at
//     construction, a double; one value per whole rate;
//   - sincosf and sinh (rounded to single precision) of the filter designs,
//     powf of the wet level, the decay and the room size's gains: results
//     that are rounded to single precision, folded 64 to a word (any
//     difference there is a finding, wherever it is).
// Usage: libm_scan FILE
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int64_t MIN_RATE = 1000;
constexpr int64_t MAX_RATE = 768000;

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The float `steps` representable values above f (below, for negative steps).
float step_up(float f, int32_t steps)
{
    const uint32_t b = bits(f) + uint32_t(steps);
    float r;
    std::memcpy(&r, &b, sizeof r);
    return r;
}

// Folds single-precision results 64 to a word.
struct Folder {
    FILE* out;
    uint32_t word = 0;
    int count = 0;
    void add(float v)
    {
        word = (word ^ bits(v)) * 16777619u;
        if (++count == 64)
            flush();
    }
    void flush()
    {
        std::fwrite(&word, sizeof word, 1, out);
        word = 0;
        count = 0;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    FILE* out = argc == 2 ? std::fopen(argv[1], "wb") : nullptr;
    if (!out) {
        std::fprintf(stderr, "usage: libm_scan FILE\n");
        return 1;
    }
    for (int64_t rate = MIN_RATE; rate <= MAX_RATE; ++rate) {
        const double coef = std::exp(-8.333333333333334 / double(rate));
        std::fwrite(&coef, sizeof coef, 1, out);
    }
    for (int64_t rate = MIN_RATE; rate <= MAX_RATE; ++rate) {
        const int32_t n = int32_t(float(rate) * 7.0f);
        const double factor = std::pow(double(0.001f), 1.0 / double(n));
        std::fwrite(&factor, sizeof factor, 1, out);
    }

    Folder folder{out};
    // Filter designs: every 64th frequency from 20 to 12000 Hz, both
    // bandwidth factors, three rates.
    for (const float rate : {44100.0f, 48000.0f, 96000.0f})
        for (const double factor : {0.20794416243094188, 0.69314718055994529})
            for (float f = 20.0f; f <= 12000.0f; f = step_up(f, 64)) {
                const float w = float(double(f) * 6.2831853071795862 / double(rate));
                float sn, cs;
                sincosf(w, &sn, &cs);
                folder.add(sn);
                folder.add(cs);
                folder.add(float(std::sinh(double(w) * factor / double(sn)) * double(sn)));
            }
    // Wet level: every 256th value from -90 to 6 dB.
    for (float wet = -90.0f; wet < 0.0f; wet = step_up(wet, -256))
        folder.add(powf(10.0f, wet * 0.05f));
    for (float wet = 1e-30f; wet <= 6.0f; wet = step_up(wet, 256))
        folder.add(powf(10.0f, wet * 0.05f));
    // Decay: every 64th decay length from 100 samples to 30.1 s at 768 kHz.
    for (float samples = 100.0f; samples <= 2.4e7f; samples = step_up(samples, 64))
        folder.add(powf(0.001f, float(1.0 / double(samples))));
    // Feedback and tap gains of the room-size setter: a decay factor to a
    // whole power, three million random pairs.
    uint32_t seed = 12345;
    for (int i = 0; i < 3000000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float g = powf(0.001f, float(1.0 / double(100.0f + float(seed >> 8) * 1.43f)));
        seed = seed * 1664525u + 1013904223u;
        folder.add(powf(g, float(5 + int32_t(seed % 240000u))));
    }
    folder.flush();
    std::fclose(out);
    return 0;
}
