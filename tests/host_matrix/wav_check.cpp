// wav_check: reads the WAV files the host-matrix tests make hosts write and
// answers the questions the tests ask of them. sox cannot answer these
// itself: it converts to integers, which hides NaN and infinity and rounds
// away the last bits two hosts might disagree in.
//
//   wav_check stats FILE [START_SECONDS END_SECONDS]
//       frames, channels, rate, nonfinite, peak (whole file), rms_0, rms_1,
//       ... (per channel, over the window or the whole file), and onset: the
//       time in seconds of the first sample whose magnitude exceeds 1e-4 at
//       or after START (-1 when there is none).
//   wav_check same FILE_A[:CHANNEL] FILE_B[:CHANNEL] [FROM_FRAME]
//       compares the samples bit for bit (every channel, or the one named),
//       from FROM_FRAME on. Prints frames, compared, differing, max_diff and
//       first_diff (the first differing frame, -1 when none).
//
// Reads 16-, 24- and 32-bit integer and 32- and 64-bit float WAV files.
// Exit status: 0 success (for same: bit-identical), 1 the files differ,
// 2 a file cannot be read or the shapes do not match.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Wav {
    unsigned channels = 0;
    unsigned rate = 0;
    size_t frames = 0;
    bool is_float = false;
    unsigned bits = 0;
    std::vector<double> samples;     // interleaved, as values
    std::vector<uint64_t> raw_bits;  // interleaved, the stored bits
};

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

bool read_wav(const std::string& path, Wav& wav)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::fprintf(stderr, "wav_check: %s: cannot open\n", path.c_str());
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);

    if (bytes.size() < 12 || std::memcmp(&bytes[0], "RIFF", 4) || std::memcmp(&bytes[8], "WAVE", 4)) {
        std::fprintf(stderr, "wav_check: %s: not a RIFF WAVE file\n", path.c_str());
        return false;
    }
    // Hosts add chunks of their own (PEAK, LIST, fact); only "fmt " and
    // "data" matter. A data size past the end (a writer killed mid-way, or
    // a streaming writer's placeholder) is cut to what is there.
    unsigned format = 0;
    const unsigned char* data = nullptr;
    size_t data_size = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const unsigned char* chunk = &bytes[at];
        size_t size = le32(chunk + 4);
        const size_t body = at + 8;
        if (size > bytes.size() - body)
            size = bytes.size() - body;
        if (!std::memcmp(chunk, "fmt ", 4) && size >= 16) {
            format = le16(chunk + 8);
            wav.channels = le16(chunk + 10);
            wav.rate = le32(chunk + 12);
            wav.bits = le16(chunk + 22);
            if (format == 0xFFFE && size >= 26)  // extensible: the sub-format names the real one
                format = le16(chunk + 32);
        } else if (!std::memcmp(chunk, "data", 4)) {
            data = chunk + 8;
            data_size = size;
        }
        at = body + size + (size & 1);
    }
    if (!data || wav.channels == 0 || wav.rate == 0) {
        std::fprintf(stderr, "wav_check: %s: no fmt or data chunk\n", path.c_str());
        return false;
    }
    wav.is_float = format == 3;
    const bool known = (format == 3 && (wav.bits == 32 || wav.bits == 64)) ||
                       (format == 1 && (wav.bits == 16 || wav.bits == 24 || wav.bits == 32));
    if (!known) {
        std::fprintf(stderr, "wav_check: %s: sample format %u with %u bits is not read\n", path.c_str(),
                     format, wav.bits);
        return false;
    }

    const size_t width = wav.bits / 8;
    wav.frames = data_size / (width * wav.channels);
    const size_t count = wav.frames * wav.channels;
    wav.samples.resize(count);
    wav.raw_bits.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = data + i * width;
        uint64_t raw = 0;
        for (size_t b = 0; b < width; ++b)
            raw |= uint64_t(p[b]) << (8 * b);
        wav.raw_bits[i] = raw;
        double value;
        if (wav.is_float && wav.bits == 32) {
            const uint32_t word = uint32_t(raw);
            float f;
            std::memcpy(&f, &word, sizeof f);
            value = f;
        } else if (wav.is_float) {
            std::memcpy(&value, &raw, sizeof value);
        } else {
            // Sign-extend the integer from its width, then scale to -1..1.
            const unsigned shift = 64 - wav.bits;
            const int64_t signed_value = int64_t(raw << shift) >> shift;
            value = double(signed_value) / std::ldexp(1.0, int(wav.bits) - 1);
        }
        wav.samples[i] = value;
    }
    return true;
}

int stats(int argc, char** argv)
{
    Wav wav;
    if (!read_wav(argv[2], wav))
        return 2;
    size_t start = 0, end = wav.frames;
    if (argc == 5) {
        start = size_t(std::atof(argv[3]) * wav.rate);
        end = size_t(std::atof(argv[4]) * wav.rate);
        if (end > wav.frames)
            end = wav.frames;
        if (start > end)
            start = end;
    }
    size_t nonfinite = 0;
    double peak = 0.0;
    long long onset = -1;
    std::vector<double> energy(wav.channels, 0.0);
    for (size_t i = 0; i < wav.frames; ++i) {
        for (unsigned c = 0; c < wav.channels; ++c) {
            const double value = wav.samples[i * wav.channels + c];
            if (!std::isfinite(value)) {
                ++nonfinite;
                continue;
            }
            peak = std::fmax(peak, std::fabs(value));
            if (i >= start && i < end)
                energy[c] += value * value;
            if (onset < 0 && i >= start && std::fabs(value) > 1e-4)
                onset = (long long)i;
        }
    }
    std::printf("frames=%zu\nchannels=%u\nrate=%u\nnonfinite=%zu\npeak=%.9g\n", wav.frames, wav.channels,
                wav.rate, nonfinite, peak);
    for (unsigned c = 0; c < wav.channels; ++c)
        std::printf("rms_%u=%.9g\n", c, end > start ? std::sqrt(energy[c] / double(end - start)) : 0.0);
    std::printf("onset=%.9g\n", onset < 0 ? -1.0 : double(onset) / wav.rate);
    return 0;
}

// Splits "FILE:CHANNEL" into its parts; a plain FILE compares every channel.
void split_channel(const std::string& arg, std::string& path, int& channel)
{
    const size_t colon = arg.rfind(':');
    channel = -1;
    path = arg;
    if (colon != std::string::npos && colon + 1 < arg.size() &&
        arg.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
        path = arg.substr(0, colon);
        channel = std::atoi(arg.c_str() + colon + 1);
    }
}

int same(int argc, char** argv)
{
    std::string path_a, path_b;
    int channel_a, channel_b;
    split_channel(argv[2], path_a, channel_a);
    split_channel(argv[3], path_b, channel_b);
    const size_t from = argc == 5 ? size_t(std::atoll(argv[4])) : 0;

    Wav a, b;
    if (!read_wav(path_a, a) || !read_wav(path_b, b))
        return 2;
    if (a.frames != b.frames || a.is_float != b.is_float || a.bits != b.bits) {
        std::fprintf(stderr, "wav_check: the files differ in shape: %zu frames of %u-bit %s, %zu frames of %u-bit %s\n",
                     a.frames, a.bits, a.is_float ? "float" : "integer", b.frames, b.bits,
                     b.is_float ? "float" : "integer");
        return 2;
    }
    if ((channel_a < 0) != (channel_b < 0) || (channel_a < 0 && a.channels != b.channels) ||
        channel_a >= int(a.channels) || channel_b >= int(b.channels)) {
        std::fprintf(stderr, "wav_check: the channels to compare do not match (%u and %u channels)\n",
                     a.channels, b.channels);
        return 2;
    }
    const unsigned width = channel_a < 0 ? a.channels : 1;
    size_t compared = 0, differing = 0;
    long long first_diff = -1;
    double max_diff = 0.0;
    for (size_t i = from; i < a.frames; ++i) {
        for (unsigned c = 0; c < width; ++c) {
            const size_t at_a = i * a.channels + (channel_a < 0 ? c : unsigned(channel_a));
            const size_t at_b = i * b.channels + (channel_b < 0 ? c : unsigned(channel_b));
            ++compared;
            if (a.raw_bits[at_a] == b.raw_bits[at_b])
                continue;
            ++differing;
            if (first_diff < 0)
                first_diff = (long long)i;
            const double diff = std::fabs(a.samples[at_a] - b.samples[at_b]);
            max_diff = std::isnan(diff) ? INFINITY : std::fmax(max_diff, diff);
        }
    }
    std::printf("frames=%zu\ncompared=%zu\ndiffering=%zu\nmax_diff=%.9g\nfirst_diff=%lld\n", a.frames, compared,
                differing, max_diff, first_diff);
    return differing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && !std::strcmp(argv[1], "stats") && (argc == 3 || argc == 5))
        return stats(argc, argv);
    if (argc >= 4 && !std::strcmp(argv[1], "same") && argc <= 5)
        return same(argc, argv);
    std::fprintf(stderr,
                 "usage: wav_check stats FILE [START_SECONDS END_SECONDS]\n"
                 "       wav_check same FILE_A[:CHANNEL] FILE_B[:CHANNEL] [FROM_FRAME]\n");
    return 2;
}
