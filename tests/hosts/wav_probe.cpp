// wav_probe: reads a WAV file as a host wrote it and prints what the host
// tests check: its shape, whether every sample is finite, its peak and the
// RMS of each channel over an optional time window. sox cannot do this
// itself, since it converts to integers and so hides NaN and infinity.
//
//   wav_probe FILE [START_SECONDS END_SECONDS]
//
// Output, one key=value per line: frames, channels, rate, nonfinite, peak,
// rms_0, rms_1, ... Exit status 0 on success, 1 on a file it cannot read.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int fail(const char* path, const char* why)
{
    std::fprintf(stderr, "wav_probe: %s: %s\n", path, why);
    return 1;
}

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: wav_probe FILE [START_SECONDS END_SECONDS]\n");
        return 2;
    }
    const char* path = argv[1];
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return fail(path, "cannot open");
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);

    if (bytes.size() < 12 || std::memcmp(&bytes[0], "RIFF", 4) || std::memcmp(&bytes[8], "WAVE", 4))
        return fail(path, "not a RIFF WAVE file");

    // Walk the chunks: "fmt " gives the layout, "data" the samples; others
    // (libsndfile adds PEAK to float files) are skipped.
    unsigned format = 0, channels = 0, rate = 0, bits = 0;
    const unsigned char* data = nullptr;
    size_t data_size = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const unsigned char* chunk = &bytes[at];
        size_t size = le32(chunk + 4);
        size_t body = at + 8;
        if (size > bytes.size() - body)
            size = bytes.size() - body;
        if (!std::memcmp(chunk, "fmt ", 4) && size >= 16) {
            format = le16(chunk + 8);
            channels = le16(chunk + 10);
            rate = le32(chunk + 12);
            bits = le16(chunk + 22);
            if (format == 0xFFFE && size >= 26)  // extensible: the real tag opens the sub-format
                format = le16(chunk + 32);
        } else if (!std::memcmp(chunk, "data", 4)) {
            data = chunk + 8;
            data_size = size;
        }
        at = body + size + (size & 1);
    }
    if (!data || channels == 0 || rate == 0)
        return fail(path, "no fmt or data chunk");
    if (!(format == 3 && bits == 32) && !(format == 1 && bits == 16))
        return fail(path, "only 32-bit float and 16-bit PCM are read");

    const size_t width = bits / 8;
    const size_t frames = data_size / (width * channels);
    size_t start = 0, end = frames;
    if (argc == 4) {
        start = size_t(std::atof(argv[2]) * rate);
        end = size_t(std::atof(argv[3]) * rate);
        if (end > frames)
            end = frames;
        if (start > end)
            start = end;
    }

    size_t nonfinite = 0;
    double peak = 0.0;
    std::vector<double> energy(channels, 0.0);
    for (size_t i = 0; i < frames; ++i) {
        for (unsigned c = 0; c < channels; ++c) {
            const unsigned char* p = data + (i * channels + c) * width;
            double value;
            if (format == 3) {
                uint32_t raw = le32(p);
                float f;
                std::memcpy(&f, &raw, sizeof f);
                value = f;
            } else {
                value = int16_t(le16(p)) / 32768.0;
            }
            if (!std::isfinite(value)) {
                ++nonfinite;
                continue;
            }
            peak = std::fmax(peak, std::fabs(value));
            if (i >= start && i < end)
                energy[c] += value * value;
        }
    }

    std::printf("frames=%zu\nchannels=%u\nrate=%u\nnonfinite=%zu\npeak=%.9g\n", frames, channels, rate,
                nonfinite, peak);
    for (unsigned c = 0; c < channels; ++c)
        std::printf("rms_%u=%.9g\n", c, end > start ? std::sqrt(energy[c] / double(end - start)) : 0.0);
    return 0;
}
