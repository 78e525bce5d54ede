// lv2bench in the way halvane's users run it: a real LV2 host (lilv) loads
// each plug-in named on the command line, wires its controls to their
// defaults and its audio ports to noise, and times only the run calls over
// the same number of frames in the same block length. lv2bench itself feeds
// silence, which an idle-aware reverb skips; this feeds live signal.
//
// Usage: live_bench BLOCK FRAMES ROUNDS URI...   (LV2_PATH as for any host)
// Prints one line per plug-in: median seconds, then the URI.
#include <lilv/lilv.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double time_plugin(LilvWorld* world, const LilvPlugin* plugin, uint32_t block, uint64_t frames)
{
    LilvInstance* instance = lilv_plugin_instantiate(plugin, 48000.0, nullptr);
    if (!instance)
        return -1.0;
    LilvNode* audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    LilvNode* control = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
    LilvNode* input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<float> defaults(ports), minimum(ports), maximum(ports);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
    std::vector<float> controls(ports, 0.0f);
    std::vector<std::vector<float>> buffers(ports);
    uint32_t seed = 1u;
    for (uint32_t p = 0; p < ports; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        if (lilv_port_is_a(plugin, port, control)) {
            controls[p] = std::isnan(defaults[p]) ? 0.0f : defaults[p];
            lilv_instance_connect_port(instance, p, &controls[p]);
        } else if (lilv_port_is_a(plugin, port, audio)) {
            buffers[p].assign(block, 0.0f);
            if (lilv_port_is_a(plugin, port, input))
                for (float& v : buffers[p]) {
                    seed = seed * 1664525u + 1013904223u;
                    v = float(int32_t(seed)) * 0x1p-33f;
                }
            lilv_instance_connect_port(instance, p, buffers[p].data());
        } else {
            lilv_instance_connect_port(instance, p, nullptr);
        }
    }
    lilv_instance_activate(instance);
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t done = 0; done < frames; done += block)
        lilv_instance_run(instance, block);
    const auto stop = std::chrono::steady_clock::now();
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    lilv_node_free(audio);
    lilv_node_free(control);
    lilv_node_free(input);
    return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: live_bench BLOCK FRAMES ROUNDS URI...\n");
        return 2;
    }
    const uint32_t block = uint32_t(std::atoi(argv[1]));
    const uint64_t frames = uint64_t(std::atoll(argv[2]));
    const int rounds = std::atoi(argv[3]);
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    int status = 0;
    std::vector<std::vector<double>> times(size_t(argc - 4));
    for (int r = 0; r < rounds; ++r) {
        for (int u = 4; u < argc; ++u) {
            LilvNode* uri = lilv_new_uri(world, argv[u]);
            const LilvPlugin* plugin = lilv_plugins_get_by_uri(plugins, uri);
            lilv_node_free(uri);
            const double t = plugin ? time_plugin(world, plugin, block, frames) : -1.0;
            if (t < 0.0) {
                std::fprintf(stderr, "cannot run %s\n", argv[u]);
                status = 1;
            }
            times[size_t(u - 4)].push_back(t);
        }
    }
    for (int u = 4; u < argc; ++u) {
        std::vector<double>& t = times[size_t(u - 4)];
        std::sort(t.begin(), t.end());
        std::printf("%.6f %s\n", t[t.size() / 2], argv[u]);
    }
    lilv_world_free(world);
    return status;
}
