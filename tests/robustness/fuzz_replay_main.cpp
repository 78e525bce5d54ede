// Runs the host-sequence fuzz target without libFuzzer: over every file of
// the given folders (the seed corpus), then over a fixed number of inputs made
// by a seeded generator. Built with the project's compiler, so the normal and
// the sanitizer builds replay the corpus as an ordinary test.
// Usage: fuzz_replay [--generated N] FOLDER...
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool read_file(const std::string& path, std::vector<uint8_t>* bytes)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes->clear();
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    std::fclose(f);
    return true;
}

std::vector<std::string> files_in(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.push_back(folder + "/" + entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

int main(int argc, char** argv)
{
    long generated = 0;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--generated") == 0 && i + 1 < argc)
            generated = std::atol(argv[++i]);
        else
            folders.push_back(argv[i]);
    }

    long replayed = 0;
    std::vector<uint8_t> bytes;
    for (const std::string& folder : folders) {
        const std::vector<std::string> files = files_in(folder);
        if (files.empty()) {
            std::fprintf(stderr, "fuzz_replay: no inputs in %s\n", folder.c_str());
            return 1;
        }
        for (const std::string& file : files) {
            if (!read_file(file, &bytes)) {
                std::fprintf(stderr, "fuzz_replay: cannot read %s\n", file.c_str());
                return 1;
            }
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }

    // Generated inputs: short byte strings, biased toward small values so
    // that the operation and choice bytes hit their common cases.
    uint64_t state = 0x9e3779b97f4a7c15u;
    for (long k = 0; k < generated; ++k) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        bytes.resize(8 + (state >> 33) % 160);
        for (uint8_t& b : bytes) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            const uint8_t raw = uint8_t(state >> 56);
            b = (state >> 40) & 1 ? raw : raw % 16;
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("fuzz_replay: %ld corpus inputs and %ld generated inputs ran clean\n", replayed,
                generated);
    return 0;
}
