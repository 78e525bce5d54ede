// wav_file.h: reads a WAV file whole, as hosts, sox and lv2apply write it,
// for the test programs that check those files and the demo's picture
// maker. Header-only, so each program just includes it.
//
// Reads 16-, 24- and 32-bit integer and 32- and 64-bit float samples, plain
// or in the extensible layout. Keeps each sample both as a value (integers
// scaled to -1..1) and as the bits stored in the file, so callers can
// compare two files bit for bit and see NaN and infinity as written.

#ifndef HALVANE_WAV_FILE_H
#define HALVANE_WAV_FILE_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace wav {

struct File {
    unsigned channels = 0;
    unsigned rate = 0;
    size_t frames = 0;
    bool is_float = false;
    unsigned bits = 0;
    std::vector<double> samples;     // interleaved, as values
    std::vector<uint64_t> raw_bits;  // interleaved, the stored bits
};

inline uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint16_t le16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

// Reads `path` into `wav`. On failure returns false and says why in `error`
// (without the path, which the caller adds to its own message).
inline bool read(const std::string& path, File& wav, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open";
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);

    if (bytes.size() < 12 || std::memcmp(&bytes[0], "RIFF", 4) || std::memcmp(&bytes[8], "WAVE", 4)) {
        error = "not a RIFF WAVE file";
        return false;
    }
    // Writers add chunks of their own (libsndfile's PEAK, LIST, fact); only
    // "fmt " and "data" matter. A data size past the end (a writer killed
    // mid-way, or a streaming writer's placeholder) is cut to what is there.
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
        error = "no fmt or data chunk";
        return false;
    }
    wav.is_float = format == 3;
    const bool known = (format == 3 && (wav.bits == 32 || wav.bits == 64)) ||
                       (format == 1 && (wav.bits == 16 || wav.bits == 24 || wav.bits == 32));
    if (!known) {
        error = "sample format " + std::to_string(format) + " with " + std::to_string(wav.bits) +
                " bits is not read";
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
inline Stats measure(const File& wav, double start_seconds, double end_seconds)
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

// Prints `stats` as key=value lines, the form the test scripts read: frames,
// channels, rate, nonfinite, peak, then rms_0, rms_1, ...
inline void print_stats(const File& wav, const Stats& stats)
{
    std::printf("frames=%zu\nchannels=%u\nrate=%u\nnonfinite=%zu\npeak=%.9g\n", wav.frames, wav.channels,
                wav.rate, stats.nonfinite, stats.peak);
    for (unsigned c = 0; c < wav.channels; ++c)
        std::printf("rms_%u=%.9g\n", c, stats.rms[c]);
}

}  // namespace wav

#endif
