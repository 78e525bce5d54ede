# What the tests and the benchmarks need beyond the build itself, each with
# the Debian package that brings it. Looked for only when they are built
# (BUILD_TESTING, BUILD_BENCHMARKS); a missing one stops the configuration
# and names the package to install. `bash scripts/setup.sh test` installs
# them all.

function(halvane_missing what package)
  message(FATAL_ERROR
    "The ${what} need ${ARGN}, which is missing: install the Debian package "
    "${package} (bash scripts/setup.sh test installs every test dependency), "
    "or configure with -DBUILD_TESTING=OFF to build halvane without tests.")
endfunction()

# require_cmake_package(NAME DEBIAN_PACKAGE WHAT): a CMake package.
function(require_cmake_package name package what)
  find_package(${name} QUIET)
  if(NOT ${name}_FOUND)
    halvane_missing(${what} ${package} "${name}")
  endif()
endfunction()

# require_pkg_config_module(MODULE DEBIAN_PACKAGE): a pkg-config module of
# the tests' own hosts.
function(require_pkg_config_module module package)
  string(MAKE_C_IDENTIFIER "HALVANE_CHECK_${module}" prefix)
  pkg_check_modules(${prefix} QUIET ${module})
  if(NOT ${prefix}_FOUND)
    halvane_missing(tests ${package} "the pkg-config module ${module}")
  endif()
endfunction()

find_package(PkgConfig REQUIRED)
require_cmake_package(GTest libgtest-dev tests)
require_pkg_config_module(lilv-0 liblilv-dev)
require_pkg_config_module(xres libxres-dev)
if(NOT CMAKE_CROSSCOMPILING)  # the Gtk2 host runs in native builds only
  require_pkg_config_module(gtk+-2.0 libgtk2.0-dev)
  require_pkg_config_module(suil-0 libsuil-dev)
endif()
if(BUILD_BENCHMARKS)
  require_cmake_package(benchmark libbenchmark-dev benchmarks)
endif()
