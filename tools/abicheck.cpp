// strandprobe: tells whether the system's C++ libraries use the old
// ("gcc4") or the new C++11 ("gcc5") std::string ABI.
//
// It opens glibmm 2.4 at run time, looks up three members under both of
// their possible mangled names, closes the library again and reports the
// verdict through its exit status and, with -v, a message. glibmm is never
// linked: the program needs only the C library and the dynamic loader.

#include <dlfcn.h>
#include <getopt.h>
#include <stdio.h>

#include "glibc_baseline.h"

// The loader's functions at their baseline versions, which glibc 2.34 and
// later keep in libc and older glibc has in libdl (linked for that reason).
#ifdef GLIBC_BASELINE
__asm__(".symver dlopen,dlopen@" GLIBC_BASELINE);
__asm__(".symver dlsym,dlsym@" GLIBC_BASELINE);
__asm__(".symver dlclose,dlclose@" GLIBC_BASELINE);
__asm__(".symver dlerror,dlerror@" GLIBC_BASELINE);
#endif

namespace {

// strandprobe's own version. The tool shares no code with the plug-ins and
// keeps a version of its own; scripts that parse -V see the same text in
// every release of the bundle.
const char *const PROGRAM_VERSION = "0.1";
const char *const DEFAULT_LIBRARY = "libglibmm-2.4.so.1";

// Bits of the wanted set.
const unsigned WANT_GCC4 = 1;
const unsigned WANT_GCC5 = 2;

// A mask with all three members found.
const unsigned ALL_MEMBERS = 7;

enum Abi { ABI_GCC4, ABI_GCC5 };

struct ProbeSymbol {
    const char *name;
    Abi abi;
    unsigned bit;
};

// Looked up in this order. Each member appears once under its new-ABI name
// (std::__cxx11::basic_string) and once under its old-ABI name (Ss).
const ProbeSymbol PROBE_SYMBOLS[] = {
    // Glib::ustring::ustring(const std::string&)
    {"_ZN4Glib7ustringC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE", ABI_GCC5, 1},
    {"_ZN4Glib7ustringC1ERKSs", ABI_GCC4, 1},
    // Glib::Module::Module(const std::string&, Glib::ModuleFlags)
    {"_ZN4Glib6ModuleC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS_11ModuleFlagsE", ABI_GCC5, 2},
    {"_ZN4Glib6ModuleC1ERKSsNS_11ModuleFlagsE", ABI_GCC4, 2},
    // Glib::ustring::operator=(const std::string&)
    {"_ZN4Glib7ustringaSERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE", ABI_GCC5, 4},
    {"_ZN4Glib7ustringaSERKSs", ABI_GCC4, 4},
};

struct Settings {
    const char *library_name;
    bool fail;
    bool verbose;
    unsigned wanted;
};

const char *const SHORT_OPTIONS = "fh45g:vV";

const struct option LONG_OPTIONS[] = {
    {"fail", no_argument, nullptr, 'f'},
    {"help", no_argument, nullptr, 'h'},
    {"gcc4", no_argument, nullptr, '4'},
    {"gcc5", no_argument, nullptr, '5'},
    {"glibmm", required_argument, nullptr, 'g'},
    {"verbose", no_argument, nullptr, 'v'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

void print_usage()
{
    fputs("strandprobe - gcc4/5 C++11 ABI compatibility test\n"
          "\n"
          "Usage: strandprobe [ OPTIONS ]\n"
          "\n"
          "This tool checks for C++ specific symbols in libglimm which are different in\n"
          "the gcc4 and gcc5/c++11 ABI in order to determine system-wide use of gcc5.\n"
          "\n"
          "Options:\n"
          " -f, --fail                fail if system cannot be determined.\n"
          " -h, --help                Display this help and exit.\n"
          " -4, --gcc4                Test succeeds if gcc4 ABI is found.\n"
          " -5, --gcc5                Test succeeds if gcc5 ABI is found.\n"
          " -g <soname>, --glibmm <soname>\n"
          "                           Specify alternative file for libglibmm-2.4.so\n"
          " -v, --verbose             Print information.\n"
          " -V, --version             Print version information and exit.\n",
          stdout);
}

void print_version()
{
    printf("strandprobe version %s\n", PROGRAM_VERSION);
    fputs("\n"
          "Written by the halvane developers.\n"
          "This is free software: there is NO WARRANTY, to the extent permitted by law;\n"
          "not even for MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.\n",
          stdout);
}

// Whether the open library exports `name`. A symbol may legitimately resolve
// to a null address, so the loader's error state decides, not the pointer.
bool library_exports(void *library, const char *name)
{
    dlerror();
    void *address = dlsym(library, name);
    return address != nullptr || dlerror() == nullptr;
}

// Ends the program for a verdict that was reached but not asked about, or
// could not be reached: -f turns it into a failure.
int undecided_status(const Settings &settings)
{
    return settings.fail ? 2 : 0;
}

// Ends the program for a clear verdict, the ABI `found` (a WANT_ bit),
// which -v names with `message`: success when it is wanted, failure when
// another is, and undecided_status when none was asked about.
int verdict_status(const Settings &settings, unsigned found, const char *message)
{
    if (settings.verbose)
        puts(message);
    if (settings.wanted != 0)
        return (settings.wanted & found) ? 0 : 1;
    return undecided_status(settings);
}

} // namespace

int main(int argc, char **argv)
{
    Settings settings = {DEFAULT_LIBRARY, false, false, 0};

    // Options act in the order given; -h, -V and an invalid option end the
    // program where they stand, so nothing after them is looked at.
    int option;
    while ((option = getopt_long(argc, argv, SHORT_OPTIONS, LONG_OPTIONS, nullptr)) != -1) {
        switch (option) {
        case 'f':
            settings.fail = true;
            break;
        case 'h':
            print_usage();
            return 0;
        case '4':
            settings.wanted |= WANT_GCC4;
            break;
        case '5':
            settings.wanted |= WANT_GCC5;
            break;
        case 'g':
            settings.library_name = optarg;
            break;
        case 'v':
            settings.verbose = true;
            break;
        case 'V':
            print_version();
            return 0;
        default:
            // getopt_long has already named the offending option on stderr.
            fputs("invalid argument.\n", stderr);
            print_usage();
            return -1;
        }
    }

    dlerror();
    void *library = dlopen(settings.library_name, RTLD_LAZY);
    if (library == nullptr) {
        if (settings.verbose) {
            const char *reason = dlerror();
            fprintf(stderr, "Cannot open '%s': %s.\n", settings.library_name,
                    reason != nullptr ? reason : "unknown error");
        }
        return settings.fail ? 3 : 0;
    }

    unsigned gcc4_mask = 0;
    unsigned gcc5_mask = 0;
    for (const ProbeSymbol &symbol : PROBE_SYMBOLS) {
        if (library_exports(library, symbol.name)) {
            if (symbol.abi == ABI_GCC4)
                gcc4_mask |= symbol.bit;
            else
                gcc5_mask |= symbol.bit;
        }
    }
    dlclose(library);

    // Each member must be found in exactly one form; otherwise the library is
    // not a usable witness of either ABI.
    if ((gcc4_mask ^ gcc5_mask) != ALL_MEMBERS) {
        if (settings.verbose)
            fprintf(stderr, "Inconsistent result: gcc4=%x gcc5=%x\n", gcc4_mask, gcc5_mask);
        return undecided_status(settings);
    }

    if (gcc4_mask == ALL_MEMBERS)
        return verdict_status(settings, WANT_GCC4, "System uses gcc4 c++ ABI");
    if (gcc5_mask == ALL_MEMBERS)
        return verdict_status(settings, WANT_GCC5, "System uses gcc5 c++11 ABI");

    // Every member was found once, but the forms are mixed.
    if (settings.verbose)
        fprintf(stderr, "Incomplete result: gcc4=%x gcc5=%x\n", gcc4_mask, gcc5_mask);
    return undecided_status(settings);
}
