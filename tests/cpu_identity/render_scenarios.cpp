// Renders fixed scenarios through the shipped plug-in library and prints one
// hash of each scenario's output samples, so that two runs on different CPUs
// (here: natively and under an emulated CPU without AVX and FMA) can be
// compared bit for bit. The input signal and the automation are made from
// integers only, so they are the same on every CPU; only the library's own
// arithmetic, and the maths library it calls, can differ.
//
// Usage: render_scenarios LIBRARY SCENARIOS
//   LIBRARY    path of halvane.so
//   SCENARIOS  a file, one scenario a line: NAME PLUGIN RATE [SYMBOL=VALUE ...]
//              with PLUGIN mono or stereo and RATE in Hz; the controls start
//              at their defaults and take the given values.
// Prints "cpu: avx2 A fma F" (1 or 0 for each; "cpu: aarch64" on 64-bit
// ARM), then for each scenario
// "NAME PLUGIN RATE HASH". Exit status 1 on any failure.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <lv2/core/lv2.h>

#include "control_ports.h"

namespace {

// The control symbols in port order, as the bundle declares them.
const char* const SYMBOLS[CONTROL_PORT_COUNT] = {
    "mix",        "decay",      "damping",        "bandwidth",     "room_size", "tail_level",
    "decay_tilt", "high_band_freq", "low_band_freq", "low_cut", "predelay",  "wet_level"};

// Block lengths the host cycles through: single frames, odd lengths, the
// 64-frame stretch and its neighbours, and a long block.
constexpr uint32_t BLOCKS[] = {64, 1, 37, 256, 1000, 63, 3, 129, 512, 2};
constexpr uint32_t BLOCK_CHOICES = sizeof BLOCKS / sizeof BLOCKS[0];
constexpr uint32_t MAX_BLOCK = 1000;
// Frames per scenario, in three parts: the settings held, every control
// automated block by block, the settings again (the pre-delay glides back).
constexpr uint32_t FRAMES = 12288;
constexpr uint32_t AUTOMATION_START = 4096;
constexpr uint32_t AUTOMATION_END = 8192;

struct Scenario {
    std::string name, plugin;
    double rate = 0.0;
    float controls[CONTROL_PORT_COUNT];
};

bool parse_line(const std::string& line, Scenario* s)
{
    char name[128], plugin[16];
    double rate;
    int used = 0;
    if (std::sscanf(line.c_str(), "%127s %15s %lf%n", name, plugin, &rate, &used) != 3)
        return false;
    s->name = name;
    s->plugin = plugin;
    s->rate = rate;
    for (uint32_t c = 0; c < CONTROL_PORT_COUNT; ++c)
        s->controls[c] = CONTROL_RANGES[c].default_value;
    const char* p = line.c_str() + used;
    char assignment[128];
    int step = 0;
    while (std::sscanf(p, "%127s%n", assignment, &step) == 1) {
        p += step;
        char* eq = std::strchr(assignment, '=');
        if (!eq)
            return false;
        *eq = '\0';
        uint32_t c = 0;
        while (c < CONTROL_PORT_COUNT && std::strcmp(SYMBOLS[c], assignment) != 0)
            ++c;
        if (c == CONTROL_PORT_COUNT)
            return false;
        s->controls[c] = std::strtof(eq + 1, nullptr);
    }
    return s->plugin == "mono" || s->plugin == "stereo";
}

// xorshift32: the noise source of the input signal.
uint32_t next(uint32_t* state)
{
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return *state = x;
}

// One input frame for channel ch: a noise burst, silence with one impulse, a
// square wave, silence, noise again; the right channel is quieter and
// shifted, so the stereo sum is no mere doubling.
float input_sample(uint32_t frame, uint32_t ch, uint32_t* noise)
{
    const float level = ch ? 0.35f : 0.5f;
    const uint32_t f = frame + ch * 101;
    if (f < 1500)
        return level * (float(next(noise) >> 8) / float(1u << 23) - 1.0f);
    if (f == 3000)
        return 1.0f;
    if (f >= 5000 && f < 6000)
        return (f / 23) % 2 ? level : -level;
    if (f >= 10000 && f < 10500)
        return level * (float(next(noise) >> 8) / float(1u << 23) - 1.0f);
    return 0.0f;
}

// The automated value of control c in block b: a point of its declared
// range, now and then slightly outside it (which the plug-in clamps).
float automated(uint32_t c, uint32_t b)
{
    const ControlRange& r = CONTROL_RANGES[c];
    const uint32_t k = (b * 37u + c * 11u) % 103u;
    if (k == 0)
        return r.min - 1.0f;
    if (k == 102)
        return r.max + 1.0f;
    return r.min + (r.max - r.min) * (float(k) / 101.0f);
}

// FNV-1a over the bits of the samples.
void hash_samples(uint64_t* h, const float* samples, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        for (int byte = 0; byte < 4; ++byte) {
            *h ^= (bits >> (8 * byte)) & 0xffu;
            *h *= 1099511628211u;
        }
    }
}

bool render(const LV2_Descriptor* descriptor, const Scenario& s, uint64_t* hash)
{
    LV2_Handle instance = descriptor->instantiate(descriptor, s.rate, "", nullptr);
    if (!instance)
        return false;
    const bool stereo = s.plugin == "stereo";
    const uint32_t channels = stereo ? 2 : 1;
    float controls[CONTROL_PORT_COUNT];
    std::memcpy(controls, s.controls, sizeof controls);
    for (uint32_t c = 0; c < CONTROL_PORT_COUNT; ++c)
        descriptor->connect_port(instance, c, &controls[c]);
    std::vector<float> in[2] = {std::vector<float>(MAX_BLOCK), std::vector<float>(MAX_BLOCK)};
    std::vector<float> out[2] = {std::vector<float>(MAX_BLOCK), std::vector<float>(MAX_BLOCK)};
    descriptor->connect_port(instance, PORT_IN_L, in[0].data());
    descriptor->connect_port(instance, PORT_OUT_L, out[0].data());
    if (stereo) {
        descriptor->connect_port(instance, PORT_IN_R, in[1].data());
        descriptor->connect_port(instance, PORT_OUT_R, out[1].data());
    }
    descriptor->activate(instance);

    uint32_t noise[2] = {0x2545f491u, 0x9e3779b9u};
    *hash = 14695981039346656037u;
    uint32_t frame = 0;
    for (uint32_t b = 0; frame < FRAMES; ++b) {
        uint32_t n = BLOCKS[b % BLOCK_CHOICES];
        if (n > FRAMES - frame)
            n = FRAMES - frame;
        if (frame >= AUTOMATION_START && frame < AUTOMATION_END) {
            // Three controls move each block; the room size only every
            // eighth block, since each change restarts the fade.
            for (uint32_t k = 0; k < 3; ++k) {
                const uint32_t c = (b * 3 + k) % CONTROL_PORT_COUNT;
                if (c != PORT_ROOM_SIZE || b % 8 == 0)
                    controls[c] = automated(c, b);
            }
        } else if (frame >= AUTOMATION_END) {
            std::memcpy(controls, s.controls, sizeof controls);
        }
        for (uint32_t ch = 0; ch < channels; ++ch)
            for (uint32_t i = 0; i < n; ++i)
                in[ch][i] = input_sample(frame + i, ch, &noise[ch]);
        descriptor->run(instance, n);
        for (uint32_t ch = 0; ch < channels; ++ch)
            hash_samples(hash, out[ch].data(), n);
        frame += n;
    }
    descriptor->cleanup(instance);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_scenarios LIBRARY SCENARIOS\n");
        return 1;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "render_scenarios: %s\n", dlerror());
        return 1;
    }
    const auto entry =
        reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2_descriptor"));
    FILE* file = std::fopen(argv[2], "r");
    if (!entry || !file) {
        std::fprintf(stderr, "render_scenarios: no lv2_descriptor in %s, or no file %s\n", argv[1],
                     argv[2]);
        return 1;
    }
#if defined(__x86_64__)
    __builtin_cpu_init();
    std::printf("cpu: avx2 %d fma %d\n", __builtin_cpu_supports("avx2") ? 1 : 0,
                __builtin_cpu_supports("fma") ? 1 : 0);
#elif defined(__aarch64__)
    std::printf("cpu: aarch64\n");
#else
    std::printf("cpu: other\n");
#endif

    char buffer[4096];
    int rendered = 0;
    while (std::fgets(buffer, sizeof buffer, file)) {
        std::string line(buffer);
        if (line.find_first_not_of(" \t\r\n") == std::string::npos || line[0] == '#')
            continue;
        Scenario s;
        if (!parse_line(line, &s)) {
            std::fprintf(stderr, "render_scenarios: cannot read the scenario: %s", buffer);
            return 1;
        }
        const LV2_Descriptor* descriptor = entry(s.plugin == "stereo" ? 1 : 0);
        uint64_t hash = 0;
        if (!descriptor || !render(descriptor, s, &hash)) {
            std::fprintf(stderr, "render_scenarios: %s %s at %.17g Hz did not instantiate\n",
                         s.name.c_str(), s.plugin.c_str(), s.rate);
            return 1;
        }
        std::printf("%s %s %.17g %016llx\n", s.name.c_str(), s.plugin.c_str(), s.rate,
                    static_cast<unsigned long long>(hash));
        ++rendered;
    }
    std::fclose(file);
    dlclose(library);
    if (rendered == 0) {
        std::fprintf(stderr, "render_scenarios: no scenario in %s\n", argv[2]);
        return 1;
    }
    return 0;
}
