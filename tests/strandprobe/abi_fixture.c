/* A stand-in for glibmm: a shared library that exports a chosen subset of
 * the six members strandprobe looks for, under their mangled names. The
 * build compiles this file once per subset, selecting members with the
 * EXPORT_* definitions. */

#include <stdio.h>

#ifdef EXPORT_NEW_USTRING_CTOR
void _ZN4Glib7ustringC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(void) {}
#endif
#ifdef EXPORT_OLD_USTRING_CTOR
void _ZN4Glib7ustringC1ERKSs(void) {}
#endif
#ifdef EXPORT_NEW_MODULE_CTOR
void _ZN4Glib6ModuleC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS_11ModuleFlagsE(void) {}
#endif
#ifdef EXPORT_OLD_MODULE_CTOR
void _ZN4Glib6ModuleC1ERKSsNS_11ModuleFlagsE(void) {}
#endif
#ifdef EXPORT_NEW_USTRING_ASSIGN
void _ZN4Glib7ustringaSERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(void) {}
#endif
#ifdef EXPORT_OLD_USTRING_ASSIGN
void _ZN4Glib7ustringaSERKSs(void) {}
#endif

/* The three new-ABI members as absolute symbols at address 0: the loader
 * finds them, yet dlsym returns a null pointer for each. */
#ifdef EXPORT_NEW_AT_ADDRESS_ZERO
#define AT_ADDRESS_ZERO(name) ".globl " #name "\n.set " #name ", 0\n"
__asm__(AT_ADDRESS_ZERO(_ZN4Glib7ustringC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE)
        AT_ADDRESS_ZERO(_ZN4Glib6ModuleC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS_11ModuleFlagsE)
        AT_ADDRESS_ZERO(_ZN4Glib7ustringaSERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE));
#endif

/* Something to export even when no member is chosen. */
int abi_fixture_marker = 1;

#ifdef ANNOUNCE_UNLOAD
/* Writes through the program's own stdout buffer when the library is
 * unloaded, so the order of the output shows whether the library was closed
 * before the verdict was printed. */
__attribute__((destructor)) static void announce_unload(void)
{
    fputs("fixture unloaded\n", stdout);
}
#endif
