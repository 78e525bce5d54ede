// wav_file.h: reads a WAV file whole, as hosts, sox and lv2apply write it,
// for the test program that checks those files (wav_check) and the demo's
// picture maker. Header-only, so each program just includes it.
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

}  // namespace wav

#endif
