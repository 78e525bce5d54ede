# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu:
#   cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake
# The arm64 libraries the build links against (Xlib, cairo, GoogleTest) are
# Debian's multiarch :arm64 packages, installed beside the machine's own
# (scripts/setup.sh). Tests run under qemu-aarch64 in the folder that
# scripts/arm64_root.sh makes: HALVANE_ARM64_ROOT, by default
# build-arm64-root beside the sources.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Libraries and headers come from the arm64 multiarch folders only; programs
# (pkg-config, bash, the test hosts) are the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

if(NOT DEFINED HALVANE_ARM64_ROOT)
  if(DEFINED ENV{HALVANE_ARM64_ROOT})
    set(HALVANE_ARM64_ROOT $ENV{HALVANE_ARM64_ROOT})
  else()
    get_filename_component(HALVANE_ARM64_ROOT ${CMAKE_CURRENT_LIST_DIR}/../build-arm64-root ABSOLUTE)
  endif()
endif()
set(HALVANE_ARM64_ROOT ${HALVANE_ARM64_ROOT} CACHE PATH "arm64 root for qemu-aarch64 -L (scripts/arm64_root.sh)")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${HALVANE_ARM64_ROOT})
# GoogleTest lists a suite's tests when ctest runs, not at build time, so the
# build itself needs no emulator.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
