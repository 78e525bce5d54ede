// lv2bench in the way halvane's users run it: a real LV2 host (lilv) loads
// each plug-in named on the command line, wires its controls to their
// defaults and its audio ports to noise, and times only the run calls over
// the same number of frames in the same block length. lv2bench itself feeds
// silence, which an idle-aware reverb skips; this feeds live signal.
//
// A session with many tracks runs many instances of one plug-in: with
// --instances N the host makes N instances, each with its own ports and
// its own noise, and runs them one after another in every run call of the
// session, as a host runs its tracks. With --automate every control that
// takes a continuous value (not an integer, toggle or enumeration) moves
// before every run call, sweeping back and forth through the middle 80 % of
// its range, each control at its own phase. --warmup FRAMES runs every
// instance that many frames before the timed part, so the timed part sees
// the memory and caches of a session that has been playing a while.
//
// The host offers what the Dragonfly reverbs require: urid:map, options
// (block lengths and the sample rate) and worker:schedule. Its worker does
// the scheduled work at once after each run call and hands the responses
// back before the next; event ports get an empty sequence in and room for
// one out.
//
// Usage: live_bench [--instances N] [--automate] [--warmup FRAMES]
//                   BLOCK FRAMES ROUNDS URI...        (LV2_PATH as for any host)
// FRAMES is per instance (rounded up to whole run calls). Prints one line
// per plug-in: the median over the rounds of the time spent in the run calls
// (wall clock), the median of the processor time the thread used over them
// (which on a shared machine leaves out the time the thread waited for a
// core), both in nanoseconds per frame and instance, then the URI. Under
// `valgrind --tool=callgrind --collect-atstart=no` only the timed run calls
// are counted.
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
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double SAMPLE_RATE = 48000.0;
constexpr uint32_t EVENT_CAPACITY = 8192;  // bytes of an event port's buffer
// Automation: the sweep covers the middle 80 % of each range, one way in
// SWEEP_SECONDS of audio.
constexpr double SWEEP_MARGIN = 0.1;
constexpr double SWEEP_SECONDS = 2.0;

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

// What the whole session shares: the URID map and the options.
struct Session {
    UridMap urids;
    LV2_URID_Map map{&urids, map_uri};
    int32_t block_length = 0;
    float sample_rate = float(SAMPLE_RATE);
    LV2_Options_Option options[4] = {};

    explicit Session(uint32_t block) : block_length(int32_t(block))
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

    void reset(UridMap& urids)
    {
        auto* atom = reinterpret_cast<LV2_Atom_Sequence*>(storage.data());
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

// A control the automation moves, and its sweep.
struct Sweep {
    uint32_t port;
    float low, high;  // ends of the sweep
    double phase;     // where it starts, in [0, 2)
};

// The lilv port classes this host tells apart.
struct PortClasses {
    LilvNode* audio;
    LilvNode* control;
    LilvNode* input;
    LilvNode* atom;
    LilvNode* integer;
    LilvNode* toggled;
    LilvNode* enumeration;

    explicit PortClasses(LilvWorld* world)
        : audio(lilv_new_uri(world, LILV_URI_AUDIO_PORT)),
          control(lilv_new_uri(world, LILV_URI_CONTROL_PORT)),
          input(lilv_new_uri(world, LILV_URI_INPUT_PORT)),
          atom(lilv_new_uri(world, LV2_ATOM__AtomPort)),
          integer(lilv_new_uri(world, LV2_CORE__integer)),
          toggled(lilv_new_uri(world, LV2_CORE__toggled)),
          enumeration(lilv_new_uri(world, LV2_CORE__enumeration))
    {
    }
    ~PortClasses()
    {
        for (LilvNode* n : {audio, control, input, atom, integer, toggled, enumeration})
            lilv_node_free(n);
    }
};

// One instance of the session with its ports, its worker and its features.
struct Track {
    LilvInstance* instance = nullptr;
    const LV2_Worker_Interface* worker_iface = nullptr;
    Worker worker;
    LV2_Worker_Schedule schedule{&worker, schedule_work};
    LV2_Feature map_feature;
    LV2_Feature schedule_feature{LV2_WORKER__schedule, &schedule};
    LV2_Feature options_feature;
    const LV2_Feature* features[4];
    std::vector<float> controls;
    std::vector<std::vector<float>> buffers;
    std::vector<EventPort> events;
    std::vector<Sweep> sweeps;

    Track(Session& session)
        : map_feature{LV2_URID__map, &session.map},
          options_feature{LV2_OPTIONS__options, session.options},
          features{&map_feature, &schedule_feature, &options_feature, nullptr}
    {
    }
    Track(const Track&) = delete;
    Track& operator=(const Track&) = delete;
    ~Track()
    {
        if (instance) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }

    // Instantiates and wires the instance, its inputs filled with the noise
    // of `seed`; false when the plug-in cannot be instantiated.
    bool open(const LilvPlugin* plugin, const PortClasses& classes, uint32_t block, uint32_t seed)
    {
        instance = lilv_plugin_instantiate(plugin, SAMPLE_RATE, features);
        if (!instance)
            return false;
        worker_iface = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
        const uint32_t ports = lilv_plugin_get_num_ports(plugin);
        std::vector<float> defaults(ports), minimum(ports), maximum(ports);
        lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
        controls.assign(ports, 0.0f);
        buffers.resize(ports);
        events.reserve(ports);  // connected in place: no reallocation after
        for (uint32_t p = 0; p < ports; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
            const bool input = lilv_port_is_a(plugin, port, classes.input);
            if (lilv_port_is_a(plugin, port, classes.control)) {
                controls[p] = std::isnan(defaults[p]) ? 0.0f : defaults[p];
                lilv_instance_connect_port(instance, p, &controls[p]);
                const bool stepped = lilv_port_has_property(plugin, port, classes.integer) ||
                                     lilv_port_has_property(plugin, port, classes.toggled) ||
                                     lilv_port_has_property(plugin, port, classes.enumeration);
                const float span = maximum[p] - minimum[p];
                if (input && !stepped && std::isfinite(span) && span > 0.0f)
                    sweeps.push_back({p, float(minimum[p] + SWEEP_MARGIN * span),
                                      float(maximum[p] - SWEEP_MARGIN * span),
                                      std::fmod(0.37 * double(sweeps.size() + seed), 2.0)});
            } else if (lilv_port_is_a(plugin, port, classes.audio)) {
                buffers[p].assign(block, 0.0f);
                if (input)
                    for (float& v : buffers[p]) {
                        seed = seed * 1664525u + 1013904223u;
                        v = float(int32_t(seed)) * 0x1p-33f;
                    }
                lilv_instance_connect_port(instance, p, buffers[p].data());
            } else if (lilv_port_is_a(plugin, port, classes.atom)) {
                events.emplace_back();
                events.back().input = input;
                lilv_instance_connect_port(instance, p, events.back().storage.data());
            } else {
                lilv_instance_connect_port(instance, p, nullptr);
            }
        }
        lilv_instance_activate(instance);
        return true;
    }

    // Before a run call: event ports reset, and with automation every swept
    // control moved to where its sweep stands at run call `call`.
    void prepare(Session& session, bool automate, uint64_t call, double step)
    {
        for (EventPort& port : events)
            port.reset(session.urids);
        if (!automate)
            return;
        for (const Sweep& s : sweeps) {
            const double at = std::fmod(s.phase + double(call) * step, 2.0);
            const double triangle = at < 1.0 ? at : 2.0 - at;
            controls[s.port] = float(double(s.low) + (double(s.high) - double(s.low)) * triangle);
        }
    }

    // After a run call: the work it scheduled, and the responses.
    void serve()
    {
        if (!worker_iface || worker.requests.empty())
            return;
        LV2_Handle handle = lilv_instance_get_handle(instance);
        for (auto& request : worker.requests)
            worker_iface->work(handle, respond, &worker, uint32_t(request.size()), request.data());
        worker.requests.clear();
        for (auto& response : worker.responses)
            worker_iface->work_response(handle, uint32_t(response.size()), response.data());
        worker.responses.clear();
        if (worker_iface->end_run)
            worker_iface->end_run(handle);
    }
};

// Processor time of the calling thread, in seconds.
double thread_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Options {
    uint32_t instances = 1;
    bool automate = false;
    uint64_t warmup = 0;  // frames per instance before the timed part
    uint32_t block = 0;
    uint64_t frames = 0;  // timed frames per instance
};

struct Timing {
    double wall;  // ns in the run calls, per frame and instance
    double cpu;   // processor ns of the thread over them, per frame and instance
};

// The session's run calls over `frames` frames, every track in turn in each
// run call; `timed` turns the clocks and callgrind's collection on around
// the run calls.
Timing play(Session& session, std::vector<std::unique_ptr<Track>>& tracks, const Options& o,
            uint64_t first_call, uint64_t frames, bool timed)
{
    const double step = double(o.block) / (SWEEP_SECONDS * SAMPLE_RATE);
    double seconds = 0.0;
    const double cpu_start = thread_seconds();
    uint64_t call = first_call;
    uint64_t done = 0;
    for (; done < frames; done += o.block, ++call) {
        for (auto& track : tracks)
            track->prepare(session, o.automate, call, step);
        if (timed)
            CALLGRIND_TOGGLE_COLLECT;
        const auto start = std::chrono::steady_clock::now();
        for (auto& track : tracks)
            lilv_instance_run(track->instance, o.block);
        const auto stop = std::chrono::steady_clock::now();
        if (timed)
            CALLGRIND_TOGGLE_COLLECT;
        seconds += std::chrono::duration<double>(stop - start).count();
        for (auto& track : tracks)
            track->serve();
    }
    const double cpu = thread_seconds() - cpu_start;
    const double frame_count = double(done) * double(tracks.size());
    if (frame_count == 0.0)
        return {0.0, 0.0};
    return {seconds * 1e9 / frame_count, cpu * 1e9 / frame_count};
}

Timing time_plugin(const LilvPlugin* plugin, const PortClasses& classes, const Options& o)
{
    Session session(o.block);
    std::vector<std::unique_ptr<Track>> tracks;
    for (uint32_t t = 0; t < o.instances; ++t) {
        tracks.push_back(std::make_unique<Track>(session));
        if (!tracks.back()->open(plugin, classes, o.block, 1u + 7919u * t))
            return {-1.0, -1.0};
    }
    const uint64_t warmup_calls = (o.warmup + o.block - 1) / o.block;
    play(session, tracks, o, 0, o.warmup, false);
    return play(session, tracks, o, warmup_calls, o.frames, true);
}

double median(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return t.size() % 2 ? t[t.size() / 2] : 0.5 * (t[t.size() / 2 - 1] + t[t.size() / 2]);
}

int usage()
{
    std::fprintf(stderr, "usage: live_bench [--instances N] [--automate] [--warmup FRAMES] "
                         "BLOCK FRAMES ROUNDS URI...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    int a = 1;
    for (; a < argc && std::strncmp(argv[a], "--", 2) == 0; ++a) {
        if (std::strcmp(argv[a], "--automate") == 0)
            o.automate = true;
        else if (std::strcmp(argv[a], "--instances") == 0 && a + 1 < argc)
            o.instances = uint32_t(std::atoi(argv[++a]));
        else if (std::strcmp(argv[a], "--warmup") == 0 && a + 1 < argc)
            o.warmup = uint64_t(std::atoll(argv[++a]));
        else
            return usage();
    }
    if (argc - a < 4 || o.instances == 0)
        return usage();
    o.block = uint32_t(std::atoi(argv[a]));
    o.frames = uint64_t(std::atoll(argv[a + 1]));
    const int rounds = std::atoi(argv[a + 2]);
    const int first_uri = a + 3;
    if (o.block == 0)
        return usage();

    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    int status = 0;
    {
        const PortClasses classes(world);
        const size_t count = size_t(argc - first_uri);
        std::vector<std::vector<double>> walls(count), cpus(count);
        for (int r = 0; r < rounds; ++r) {
            for (size_t u = 0; u < count; ++u) {
                LilvNode* uri = lilv_new_uri(world, argv[first_uri + int(u)]);
                const LilvPlugin* plugin = lilv_plugins_get_by_uri(plugins, uri);
                lilv_node_free(uri);
                const Timing t = plugin ? time_plugin(plugin, classes, o) : Timing{-1.0, -1.0};
                if (t.wall < 0.0) {
                    std::fprintf(stderr, "cannot run %s\n", argv[first_uri + int(u)]);
                    status = 1;
                }
                walls[u].push_back(t.wall);
                cpus[u].push_back(t.cpu);
            }
        }
        for (size_t u = 0; u < count; ++u)
            std::printf("%.3f %.3f %s\n", median(walls[u]), median(cpus[u]),
                        argv[first_uri + int(u)]);
    }
    lilv_world_free(world);
    return status;
}
