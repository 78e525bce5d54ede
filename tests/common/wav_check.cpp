// wav_check: reads the WAV files the host tests make hosts write and answers
// the questions the tests ask of them. sox cannot answer these
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

#include "wav_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What the tests ask of a whole file: the count of NaN and infinite samples,
// the peak magnitude of the finite ones, the RMS of each channel over frames
// [start, end), and the first frame at or after `start` where any channel's
// magnitude exceeds 1e-4 (-1 when there is none).
struct Stats {
    size_t nonfinite = 0;
    double peak = 0.0;
    std::vector<double> rms;
    long long onset = -1;
};

// Measures `wav` with the RMS window from `start_seconds` to `end_seconds`,
// clamped to the file; a negative end means the whole file.
Stats measure(const wav::File& wav, double start_seconds, double end_seconds)
{
    size_t start = 0, end = wav.frames;
    if (end_seconds >= 0) {
        start = size_t(start_seconds * wav.rate);
        end = size_t(end_seconds * wav.rate);
        if (end > wav.frames)
            end = wav.frames;
        if (start > end)
            start = end;
    }
    Stats stats;
    std::vector<double> energy(wav.channels, 0.0);
    for (size_t i = 0; i < wav.frames; ++i) {
        for (unsigned c = 0; c < wav.channels; ++c) {
            const double value = wav.samples[i * wav.channels + c];
            if (!std::isfinite(value)) {
                ++stats.nonfinite;
                continue;
            }
            stats.peak = std::fmax(stats.peak, std::fabs(value));
            if (i >= start && i < end)
                energy[c] += value * value;
            if (stats.onset < 0 && i >= start && std::fabs(value) > 1e-4)
                stats.onset = (long long)i;
        }
    }
    for (unsigned c = 0; c < wav.channels; ++c)
        stats.rms.push_back(end > start ? std::sqrt(energy[c] / double(end - start)) : 0.0);
    return stats;
}

bool read_wav(const std::string& path, wav::File& file)
{
    std::string error;
    if (wav::read(path, file, error))
        return true;
    std::fprintf(stderr, "wav_check: %s: %s\n", path.c_str(), error.c_str());
    return false;
}

int stats(int argc, char** argv)
{
    wav::File file;
    if (!read_wav(argv[2], file))
        return 2;
    const bool windowed = argc == 5;
    const Stats figures =
        measure(file, windowed ? std::atof(argv[3]) : 0.0, windowed ? std::atof(argv[4]) : -1.0);
    // key=value lines, the form the test scripts read.
    std::printf("frames=%zu\nchannels=%u\nrate=%u\nnonfinite=%zu\npeak=%.9g\n", file.frames, file.channels,
                file.rate, figures.nonfinite, figures.peak);
    for (unsigned c = 0; c < file.channels; ++c)
        std::printf("rms_%u=%.9g\n", c, figures.rms[c]);
    std::printf("onset=%.9g\n", figures.onset < 0 ? -1.0 : double(figures.onset) / file.rate);
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

    wav::File a, b;
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
