// wav_probe: reads a WAV file as a host wrote it and prints what the host
// tests check: its shape, whether every sample is finite, its peak and the
// RMS of each channel over an optional time window. sox cannot do this
// itself, since it converts to integers and so hides NaN and infinity.
//
//   wav_probe FILE [START_SECONDS END_SECONDS]
//
// Output, one key=value per line: frames, channels, rate, nonfinite, peak,
// rms_0, rms_1, ... Exit status 0 on success, 1 on a file it cannot read.

#include "wav_file.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: wav_probe FILE [START_SECONDS END_SECONDS]\n");
        return 2;
    }
    wav::File file;
    std::string error;
    if (!wav::read(argv[1], file, error)) {
        std::fprintf(stderr, "wav_probe: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const bool windowed = argc == 4;
    wav::print_stats(file, wav::measure(file, windowed ? std::atof(argv[2]) : 0.0,
                                        windowed ? std::atof(argv[3]) : -1.0));
    return 0;
}
