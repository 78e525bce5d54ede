// lv2bench in the way halvane's users run it: a real LV2 host (lilv) loads
// each plug-in named on the command line, wires its controls to their
// defaults and its audio ports to noise, and times only the run calls over
// the same number of frames in the same block length. lv2bench itself feeds
// silence, which an idle-aware reverb skips; this feeds live signal.
//
// The host offers what the Dragonfly reverbs require: urid:map, options
// (block lengths and the sample rate) and worker:schedule. Its worker does
// the scheduled work at once after each run call and hands the responses
// back before the next; event ports get an empty sequence in and room for
// one out.
//
// Usage: live_bench BLOCK FRAMES ROUNDS URI...   (LV2_PATH as for any host)
// Prints one line per plug-in: the median over the rounds of the seconds
// spent in the run calls (wall clock), the median of the processor time the
// thread used over them (which on a shared machine leaves out the time the
// thread waited for a core), then the URI. Under
// `valgrind --tool=callgrind --collect-atstart=no` only the run calls are
// counted.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
// callgrind's client requests, or nothing where valgrind is not installed.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr double SAMPLE_RATE = 48000.0;
constexpr uint32_t EVENT_CAPACITY = 8192;  // bytes of an event port's buffer

struct UridMap {
    std::vector<std::string> uris;
};

LV2_URID map_uri(LV2_URID_Map_Handle handle, const char* uri)
{
    auto* map = static_cast<UridMap*>(handle);
    for (size_t i = 0; i < map->uris.size(); ++i)
        if (map->uris[i] == uri)
            return LV2_URID(i + 1);
    map->uris.emplace_back(uri);
    return LV2_URID(map->uris.size());
}

// Scheduled work and its responses, each as a byte copy.
struct Worker {
    std::vector<std::vector<uint8_t>> requests;
    std::vector<std::vector<uint8_t>> responses;
};

LV2_Worker_Status schedule_work(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    static_cast<Worker*>(handle)->requests.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    static_cast<Worker*>(handle)->responses.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
}

// Does the work run asked for and hands back its responses.
void serve(Worker& worker, LilvInstance* instance, const LV2_Worker_Interface* iface)
{
    if (!iface || worker.requests.empty())
        return;
    LV2_Handle handle = lilv_instance_get_handle(instance);
    for (auto& request : worker.requests)
        iface->work(handle, respond, &worker, uint32_t(request.size()), request.data());
    worker.requests.clear();
    for (auto& response : worker.responses)
        iface->work_response(handle, uint32_t(response.size()), response.data());
    worker.responses.clear();
    if (iface->end_run)
        iface->end_run(handle);
}

// The features every plug-in gets, pointing into one record.
struct HostFeatures {
    UridMap urids;
    LV2_URID_Map map{&urids, map_uri};
    Worker worker;
    LV2_Worker_Schedule schedule{&worker, schedule_work};
    int32_t block_length = 0;
    float sample_rate = float(SAMPLE_RATE);
    LV2_Options_Option options[4] = {};
    LV2_Feature map_feature{LV2_URID__map, &map};
    LV2_Feature schedule_feature{LV2_WORKER__schedule, &schedule};
    LV2_Feature options_feature{LV2_OPTIONS__options, options};
    const LV2_Feature* list[4] = {&map_feature, &schedule_feature, &options_feature, nullptr};

    explicit HostFeatures(uint32_t block) : block_length(int32_t(block))
    {
        const LV2_URID int_type = map_uri(&urids, LV2_ATOM__Int);
        const LV2_URID float_type = map_uri(&urids, LV2_ATOM__Float);
        options[0] = {LV2_OPTIONS_INSTANCE, 0, map_uri(&urids, LV2_BUF_SIZE__nominalBlockLength),
                      sizeof(int32_t), int_type, &block_length};
        options[1] = {LV2_OPTIONS_INSTANCE, 0, map_uri(&urids, LV2_BUF_SIZE__maxBlockLength),
                      sizeof(int32_t), int_type, &block_length};
        options[2] = {LV2_OPTIONS_INSTANCE, 0, map_uri(&urids, LV2_PARAMETERS__sampleRate),
                      sizeof(float), float_type, &sample_rate};
    }
};

// Event ports: inputs get an empty sequence, outputs a chunk to write into,
// both set again before every run call.
struct EventPort {
    std::vector<uint64_t> storage = std::vector<uint64_t>(EVENT_CAPACITY / 8);
    bool input = false;

    void reset(const UridMap& map)
    {
        auto* atom = reinterpret_cast<LV2_Atom_Sequence*>(storage.data());
        UridMap& urids = const_cast<UridMap&>(map);
        if (input) {
            atom->atom.size = sizeof(LV2_Atom_Sequence_Body);
            atom->atom.type = map_uri(&urids, LV2_ATOM__Sequence);
        } else {
            atom->atom.size = EVENT_CAPACITY - sizeof(LV2_Atom);
            atom->atom.type = map_uri(&urids, LV2_ATOM__Chunk);
        }
        atom->body.unit = 0;
        atom->body.pad = 0;
    }
};

// Processor time of the calling thread, in seconds.
double thread_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Timing {
    double wall;  // seconds in the run calls
    double cpu;   // processor seconds of the thread over all of them
};

Timing time_plugin(LilvWorld* world, const LilvPlugin* plugin, uint32_t block, uint64_t frames)
{
    HostFeatures host(block);
    LilvInstance* instance = lilv_plugin_instantiate(plugin, SAMPLE_RATE, host.list);
    if (!instance)
        return {-1.0, -1.0};
    const auto* worker = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
    LilvNode* audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    LilvNode* control = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
    LilvNode* input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    LilvNode* atom_port = lilv_new_uri(world, LV2_ATOM__AtomPort);
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<float> defaults(ports), minimum(ports), maximum(ports);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
    std::vector<float> controls(ports, 0.0f);
    std::vector<std::vector<float>> buffers(ports);
    std::vector<EventPort> events(ports);
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
        } else if (lilv_port_is_a(plugin, port, atom_port)) {
            events[p].input = lilv_port_is_a(plugin, port, input);
            lilv_instance_connect_port(instance, p, events[p].storage.data());
        } else {
            lilv_instance_connect_port(instance, p, nullptr);
        }
    }
    std::vector<EventPort*> event_ports;
    for (uint32_t p = 0; p < ports; ++p)
        if (lilv_port_is_a(plugin, lilv_plugin_get_port_by_index(plugin, p), atom_port))
            event_ports.push_back(&events[p]);

    lilv_instance_activate(instance);
    double seconds = 0.0;
    const double cpu_start = thread_seconds();
    for (uint64_t done = 0; done < frames; done += block) {
        for (EventPort* port : event_ports)
            port->reset(host.urids);
        CALLGRIND_TOGGLE_COLLECT;
        const auto start = std::chrono::steady_clock::now();
        lilv_instance_run(instance, block);
        const auto stop = std::chrono::steady_clock::now();
        CALLGRIND_TOGGLE_COLLECT;
        seconds += std::chrono::duration<double>(stop - start).count();
        serve(host.worker, instance, worker);
    }
    const double cpu = thread_seconds() - cpu_start;
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    lilv_node_free(audio);
    lilv_node_free(control);
    lilv_node_free(input);
    lilv_node_free(atom_port);
    return {seconds, cpu};
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
    std::vector<std::vector<double>> walls(size_t(argc - 4)), cpus(size_t(argc - 4));
    for (int r = 0; r < rounds; ++r) {
        for (int u = 4; u < argc; ++u) {
            LilvNode* uri = lilv_new_uri(world, argv[u]);
            const LilvPlugin* plugin = lilv_plugins_get_by_uri(plugins, uri);
            lilv_node_free(uri);
            const Timing t = plugin ? time_plugin(world, plugin, block, frames) : Timing{-1.0, -1.0};
            if (t.wall < 0.0) {
                std::fprintf(stderr, "cannot run %s\n", argv[u]);
                status = 1;
            }
            walls[size_t(u - 4)].push_back(t.wall);
            cpus[size_t(u - 4)].push_back(t.cpu);
        }
    }
    auto median = [](std::vector<double>& t) {
        std::sort(t.begin(), t.end());
        return t.size() % 2 ? t[t.size() / 2] : 0.5 * (t[t.size() / 2 - 1] + t[t.size() / 2]);
    };
    for (int u = 4; u < argc; ++u)
        std::printf("%.6f %.6f %s\n", median(walls[size_t(u - 4)]), median(cpus[size_t(u - 4)]),
                    argv[u]);
    lilv_world_free(world);
    return status;
}
