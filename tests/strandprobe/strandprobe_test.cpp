// Drives the built strandprobe program against stand-ins for glibmm and
// checks its exit status, standard output and standard error byte for byte.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdio.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "strandprobe_run.h"

namespace {

Outcome run(const std::vector<std::string> &args)
{
    return run_strandprobe(args);
}

// The usage text, as -h prints it.
const std::string &usage()
{
    static const std::string text = run({"-h"}).out;
    return text;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

const char *const GCC4_VERDICT = "System uses gcc4 c++ ABI\n";
const char *const GCC5_VERDICT = "System uses gcc5 c++11 ABI\n";
const char *const MISSING_LIBRARY = "/nonexistent/strandprobe/libglibmm-2.4.so.1";

// The loader's own text for a failed open of `name`, as the tool must quote it.
std::string cannot_open_message(const char *name)
{
    dlerror();
    void *handle = dlopen(name, RTLD_LAZY);
    if (handle != nullptr) {
        dlclose(handle);
        ADD_FAILURE() << name << " unexpectedly opens";
        return "";
    }
    return std::string("Cannot open '") + name + "': " + dlerror() + ".\n";
}

TEST(StrandprobeHelp, PrintsTheUsageTextAndSucceeds)
{
    for (const char *option : {"-h", "--help"}) {
        SCOPED_TRACE(option);
        Outcome outcome = run({option});
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, usage());
        EXPECT_EQ(outcome.err, "");
    }
    // Its layout: a title naming the program, the usage line, the options
    // under their heading, each description from the 28th character on
    // (on the next line where the option takes the room).
    const std::vector<std::string> lines = lines_of(usage());
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[0].rfind("strandprobe - ", 0), 0u);
    EXPECT_EQ(lines[2], "Usage: strandprobe [ OPTIONS ]");
    EXPECT_EQ(lines[7], "Options:");
    for (size_t i = 8; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        const bool described_here = line.size() > 27 && line[26] == ' ' && line[27] != ' ';
        if (!described_here && i + 1 < lines.size() && lines[i + 1].find_first_not_of(' ') == 27)
            ++i;
        else
            EXPECT_TRUE(described_here) << line;
    }
}

// The options the usage text lists are the ones the program takes and the
// manual page describes: every single-letter option it does not list is
// refused as invalid, every one it lists is taken, and so is every long one.
TEST(StrandprobeHelp, UsageProgramAndManualAgreeOnTheOptions)
{
    const std::regex option_word("(^|[ ,])(--?[A-Za-z0-9][a-z0-9]*)");
    std::set<std::string> listed;
    for (const std::string &line : lines_of(usage()))
        for (std::sregex_iterator m(line.begin(), line.end(), option_word), end; m != end; ++m)
            if (line.rfind(" -", 0) == 0)
                listed.insert((*m)[2]);
    EXPECT_EQ(listed.size(), 14u);

    std::ifstream manual(STRANDPROBE_MANUAL);
    ASSERT_TRUE(manual.good());
    std::set<std::string> described;
    bool options_section = false, item = false;
    const std::regex manual_word(R"(\\-(\\-)?([A-Za-z0-9][a-z0-9]*))");
    for (std::string line; std::getline(manual, line);) {
        if (line.rfind(".SH", 0) == 0)
            options_section = line == ".SH OPTIONS";
        if (options_section && item)
            for (std::sregex_iterator m(line.begin(), line.end(), manual_word), end; m != end; ++m)
                described.insert(((*m)[1].matched ? "--" : "-") + (*m)[2].str());
        item = line == ".TP";
    }
    EXPECT_EQ(described, listed);

    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (char letter : letters) {
        const std::string option = std::string("-") + letter;
        const bool valid = run({option, "-g", "/nonexistent/lib.so"}).status != 255;
        EXPECT_EQ(valid, listed.count(option) == 1) << option;
    }
    for (const std::string &option : listed) {
        if (option.rfind("--", 0) == 0) {
            EXPECT_NE(run({option, "/nonexistent/lib.so"}).status, 255) << option;
        }
    }
}

TEST(StrandprobeHelp, PrintsVersionThenBlankLineThenNotice)
{
    for (const char *option : {"-V", "--version"}) {
        SCOPED_TRACE(option);
        Outcome outcome = run({option});
        EXPECT_EQ(outcome.status, 0);
        const std::string head = "strandprobe version 0.1" "\n\n";
        ASSERT_GT(outcome.out.size(), head.size());
        EXPECT_EQ(outcome.out.substr(0, head.size()), head);
        EXPECT_EQ(outcome.out.back(), '\n');
        EXPECT_EQ(outcome.err, "");
    }
}

TEST(StrandprobeHelp, EndsTheProgramWhereItStands)
{
    // Settings before -h are dropped: no probe, no cannot-open report, no -f.
    Outcome outcome = run({"-v", "-f", "-g", MISSING_LIBRARY, "-h"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, usage());
    EXPECT_EQ(outcome.err, "");

    // Options after -h or -V, even invalid ones, are never looked at.
    outcome = run({"-h", "-x"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, usage());
    EXPECT_EQ(outcome.err, "");

    outcome = run({"-V", "-h"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("strandprobe version 0.1" "\n", 0), 0u);
}

TEST(StrandprobeInvalidOption, ReportsTwiceOnStderrThenUsageAndStatus255)
{
    struct Case {
        std::vector<std::string> args;
        const char *getopt_diagnostic;
    };
    const Case cases[] = {
        {{"-x"}, "strandprobe: invalid option -- 'x'\n"},
        {{"--bogus"}, "strandprobe: unrecognized option '--bogus'\n"},
        {{"-g"}, "strandprobe: option requires an argument -- 'g'\n"},
        {{"--glibmm"}, "strandprobe: option '--glibmm' requires an argument\n"},
        {{"--fail=yes"}, "strandprobe: option '--fail' doesn't allow an argument\n"},
        // The first invalid option ends the program: -h is never reached.
        {{"-x", "-h"}, "strandprobe: invalid option -- 'x'\n"},
        // Nor is the probe: no cannot-open report although -v and -f were seen.
        {{"-v", "-f", "-g", MISSING_LIBRARY, "-x"}, "strandprobe: invalid option -- 'x'\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[0] + " (" + std::to_string(c.args.size()) + " arguments)");
        Outcome outcome = run(c.args);
        EXPECT_EQ(outcome.status, 255);
        EXPECT_EQ(outcome.err, std::string(c.getopt_diagnostic) + "invalid argument.\n");
        EXPECT_EQ(outcome.out, usage());
    }
}

// Exit statuses without -v, which must also print nothing at all.
TEST(StrandprobeStatus, FollowsVerdictWantedSetAndFailFlag)
{
    struct Row {
        const char *library;
        // Indexed by wanted set: none, -4, -5, -4 -5.
        int plain[4];
        int with_fail[4];
    };
    const Row rows[] = {
        {FIXTURE_OLD, {0, 0, 1, 0}, {2, 0, 1, 0}},
        {FIXTURE_NEW, {0, 1, 0, 0}, {2, 1, 0, 0}},
        // A member at address 0 is exported all the same.
        {FIXTURE_NEW_AT_ZERO, {0, 1, 0, 0}, {2, 1, 0, 0}},
        // The wanted set does not count when no ABI is determined.
        {FIXTURE_ALL, {0, 0, 0, 0}, {2, 2, 2, 2}},
        {FIXTURE_MIXED, {0, 0, 0, 0}, {2, 2, 2, 2}},
        {FIXTURE_INCONSISTENT, {0, 0, 0, 0}, {2, 2, 2, 2}},
        {FIXTURE_NONE, {0, 0, 0, 0}, {2, 2, 2, 2}},
        {MISSING_LIBRARY, {0, 0, 0, 0}, {3, 3, 3, 3}},
    };
    const std::vector<std::string> wanted[4] = {{}, {"-4"}, {"-5"}, {"-4", "-5"}};
    for (const Row &row : rows) {
        for (int w = 0; w < 4; ++w) {
            for (bool fail : {false, true}) {
                std::vector<std::string> args = {"-g", row.library};
                args.insert(args.end(), wanted[w].begin(), wanted[w].end());
                if (fail)
                    args.push_back("-f");
                std::string trace;
                for (const std::string &arg : args)
                    trace += arg + " ";
                SCOPED_TRACE(trace);
                Outcome outcome = run(args);
                EXPECT_EQ(outcome.status, fail ? row.with_fail[w] : row.plain[w]);
                EXPECT_EQ(outcome.out, "");
                EXPECT_EQ(outcome.err, "");
            }
        }
    }
}

TEST(StrandprobeVerbose, PrintsEachVerdictOnItsStream)
{
    struct Row {
        const char *library;
        const char *out;
        const char *err;
    };
    const Row rows[] = {
        {FIXTURE_OLD, GCC4_VERDICT, ""},
        {FIXTURE_NEW, GCC5_VERDICT, ""},
        {FIXTURE_ALL, "", "Inconsistent result: gcc4=7 gcc5=7\n"},
        {FIXTURE_MIXED, "", "Incomplete result: gcc4=3 gcc5=4\n"},
        {FIXTURE_INCONSISTENT, "", "Inconsistent result: gcc4=6 gcc5=0\n"},
        {FIXTURE_NONE, "", "Inconsistent result: gcc4=0 gcc5=0\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.library);
        Outcome outcome = run({"-v", "-g", row.library});
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, row.out);
        EXPECT_EQ(outcome.err, row.err);

        // -f changes the status, never the message; a determined ABI that
        // was not asked about fails too.
        outcome = run({"-v", "-f", "-g", row.library});
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, row.out);
        EXPECT_EQ(outcome.err, row.err);
    }
}

TEST(StrandprobeVerbose, ClosesTheLibraryBeforePrintingTheVerdict)
{
    Outcome outcome = run({"-v", "-g", FIXTURE_NEW_ANNOUNCING});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, std::string("fixture unloaded\n") + GCC5_VERDICT);
    EXPECT_EQ(outcome.err, "");
}

TEST(StrandprobeCannotOpen, QuotesNameAndLoaderTextOnlyWhenVerbose)
{
    // A path to nothing, a bare name the loader searches for in vain, and a
    // file that exists but is not a shared library.
    const char *names[] = {MISSING_LIBRARY, "libstrandprobe-absent.so.9", NOT_A_LIBRARY_PATH};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        const std::string message = cannot_open_message(name);

        Outcome outcome = run({"-v", "-f", "-g", name});
        EXPECT_EQ(outcome.status, 3);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, message);

        outcome = run({"-v", "-g", name, "-5"});
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, message);

        outcome = run({"-f", "-g", name});
        EXPECT_EQ(outcome.status, 3);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "");
    }
}

TEST(StrandprobeOptions, AcceptsEveryFormOfTheLibraryName)
{
    // The default library is the real glibmm, which uses the new ABI, so the
    // old-ABI verdict shows that the given name was used.
    const std::string old_library = FIXTURE_OLD;
    const std::vector<std::string> forms[] = {
        {"--glibmm=" + old_library},
        {"--glibmm", old_library},
        {"-g" + old_library},
        {"-g", old_library},
        // The last name given wins.
        {"-g", FIXTURE_NEW, "--glibmm", old_library},
    };
    for (const std::vector<std::string> &form : forms) {
        SCOPED_TRACE(form[0]);
        std::vector<std::string> args = form;
        args.push_back("-v");
        Outcome outcome = run(args);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, GCC4_VERDICT);
        EXPECT_EQ(outcome.err, "");
    }
}

TEST(StrandprobeOptions, IgnoresArgumentsThatAreNotOptions)
{
    // Options after stray words still count; after "--" everything is a word.
    Outcome outcome =
        run({"stray", "-v", "word", "-g", FIXTURE_OLD, "-5", "last", "--", "-h", "-x"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, GCC4_VERDICT);
    EXPECT_EQ(outcome.err, "");
}

TEST(StrandprobeOptions, AcceptsLongFormsAndBundledShortOptions)
{
    Outcome outcome = run({"--verbose", "--fail", "--gcc4", "--glibmm", FIXTURE_NEW});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, GCC5_VERDICT);

    outcome = run({"-vf45g", FIXTURE_NEW});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, GCC5_VERDICT);
    EXPECT_EQ(outcome.err, "");
}

TEST(StrandprobeSystemGlibmm, ReportsTheNewAbi)
{
    Outcome outcome = run({"-v"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, GCC5_VERDICT);
    EXPECT_EQ(outcome.err, "");

    EXPECT_EQ(run({"-f", "-5"}).status, 0);
    EXPECT_EQ(run({"-f", "-4"}).status, 1);
}

TEST(StrandprobeBinary, NeedsOnlyTheCLibraryAndTheLoader)
{
    FILE *pipe = popen("readelf -d '" STRANDPROBE_PATH "'", "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> needed;
    char line[1024];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        std::string text = line;
        if (text.find("(NEEDED)") == std::string::npos)
            continue;
        size_t open = text.find('[');
        size_t close = text.find(']', open);
        ASSERT_NE(close, std::string::npos) << text;
        needed.insert(text.substr(open + 1, close - open - 1));
    }
    ASSERT_EQ(pclose(pipe), 0) << "readelf failed";

    EXPECT_EQ(needed.count("libc.so.6"), 1u);
    for (const std::string &library : needed) {
        EXPECT_TRUE(library == "libc.so.6" || library == "libdl.so.2")
            << "unexpected needed library " << library;
    }
}

} // namespace
