// strandprobe's command line under random option strings: whatever it is
// given, the program ends with one of its documented statuses (0, 1, 2, 3 or
// 255) and never by a signal. Under the sanitizers a finding would end it
// with SANITIZER_STATUS, which is not among them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "strandprobe_run.h"

namespace {

bool documented(int status)
{
    return status == 0 || status == 1 || status == 2 || status == 3 || status == 255;
}

std::string describe(const std::vector<std::string>& args)
{
    std::string s;
    for (const std::string& a : args) {
        s += " '";
        for (unsigned char c : a)
            s += (c >= 32 && c < 127) ? std::string(1, char(c)) : "\\x" + std::to_string(c);
        s += "'";
    }
    return s.size() > 300 ? s.substr(0, 300) + "..." : s;
}

// Option words, valid and not: every short and long option, abbreviations
// (ambiguous ones too), bundles, stray dashes and unknown options.
const char* const OPTION_WORDS[] = {
    "-f",        "-h",       "-4",       "-5",        "-v",        "-V",        "-g",
    "--fail",    "--help",   "--gcc4",   "--gcc5",    "--glibmm",  "--verbose", "--version",
    "--glibmm=", "--gl",     "--ver",    "--fa",      "--gcc",     "-",         "--",
    "-x",        "-fv45",    "-45vf",    "-fg",       "--unknown", "",          "-gv",
    "--help=1",  "--fail=x", "-?",       "-:",        "---",       "-vvvvvvvvvvvvvvvvvvvv"};

// Library names for -g: the real one, missing, empty, not libraries, a
// directory, names with format directives, and a very long one.
std::vector<std::string> library_names()
{
    return {"libglibmm-2.4.so.1", "/nonexistent/libglibmm.so", "", "/", "/dev/null",
            "libm.so.6",          "%s%s%s%n%n",                "libglibmm-2.4.so.1%x",
            std::string(5000, 'a'), "/proc/self/exe"};
}

}  // namespace

TEST(StrandprobeCommandLine, RandomOptionStringsEndWithADocumentedStatus)
{
    const std::vector<std::string> names = library_names();
    uint64_t state = 0x243f6a8885a308d3u;
    const auto next = [&state] {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return uint32_t(state >> 33);
    };
    constexpr size_t WORDS = sizeof OPTION_WORDS / sizeof OPTION_WORDS[0];

    for (int trial = 0; trial < 400; ++trial) {
        std::vector<std::string> args;
        const uint32_t count = next() % 7;
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t kind = next() % 10;
            if (kind < 6) {
                args.push_back(OPTION_WORDS[next() % WORDS]);
            } else if (kind < 8) {
                const std::string& name = names[next() % names.size()];
                args.push_back(next() % 2 ? "--glibmm=" + name : "-g" + name);
            } else if (kind == 8) {
                args.push_back(names[next() % names.size()]);
            } else {
                // Random bytes, a dash in front half of the time.
                std::string word = next() % 2 ? "-" : "";
                for (uint32_t n = next() % 12; n > 0; --n)
                    word += char(1 + next() % 255);
                args.push_back(word);
            }
        }
        const Outcome outcome = run_strandprobe(args);
        ASSERT_TRUE(documented(outcome.status))
            << "status " << outcome.status << " for" << describe(args) << ": " << outcome.err;
    }
}

// A few exact cases (strandprobe_test.cpp has the rest): the first option
// that ends the program decides.
TEST(StrandprobeCommandLine, TheFirstEndingOptionDecidesTheStatus)
{
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"-V", "--bogus"}, 0},
        {{"--ver"}, 255},  // ambiguous: --verbose or --version
        {{"-f", "-g", "/nonexistent/libglibmm.so"}, 3},
        {{"-g", "/nonexistent/libglibmm.so"}, 0},
        {{"-f", "-v", "--glibmm=%s%s%s%n%n"}, 3},
        {{"-f", "-g", "/dev/null"}, 3},
        {std::vector<std::string>(10000, "-v"), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run_strandprobe(c.args).status, c.status) << "for" << describe(c.args);
    }
}
