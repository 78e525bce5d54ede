# Checks a shipped shared library: its dynamic symbol table defines EXPORT
# alone; every library it needs matches NEEDED (a regular expression of
# sonames); every symbol it takes from elsewhere is a C library one no newer
# than glibc 2.34 (the package's libc6 dependency) or, where given, matches
# UNVERSIONED (calls into libraries that version no symbols, Xlib and cairo).
# With PROCESSOR (CMAKE_SYSTEM_PROCESSOR: x86_64 or aarch64), the library
# must also be built for that processor; READELF and NM name the target's
# binutils in a cross build (CMAKE_READELF, CMAKE_NM).
# Usage: cmake -DLIBRARY=lib.so -DEXPORT=name -DNEEDED=regex [-DUNVERSIONED=regex]
#              [-DPROCESSOR=name] [-DREADELF=path] [-DNM=path] -P check_library.cmake
find_program(READELF readelf REQUIRED)
find_program(NM nm REQUIRED)
get_filename_component(file ${LIBRARY} NAME)

execute_process(COMMAND ${READELF} -h -d --wide ${LIBRARY}
  OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
string(REGEX MATCH "Machine: +([^\n]*)" machine "${dynamic}")
set(machine ${CMAKE_MATCH_1})
set(expected_machine_x86_64 "Advanced Micro Devices X86-64")
set(expected_machine_aarch64 "AArch64")
if(DEFINED PROCESSOR AND NOT machine STREQUAL "${expected_machine_${PROCESSOR}}")
  message(FATAL_ERROR "${file} is built for ${machine}, not ${PROCESSOR}")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]*\\]" needed "${dynamic}")
foreach(entry IN LISTS needed)
  string(REGEX REPLACE "Shared library: \\[([^]]*)\\]" "\\1" name "${entry}")
  if(NOT name MATCHES "${NEEDED}")
    message(FATAL_ERROR "${file} needs ${name}; allowed: ${NEEDED}")
  endif()
endforeach()

# The names nm lists, one per line, as a CMake list.
function(dynamic_symbols option out)
  execute_process(COMMAND ${NM} -D ${option} ${LIBRARY}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
  string(REPLACE "\n" "" names "${names}")
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

dynamic_symbols(--defined-only names)
if(NOT names STREQUAL "${EXPORT}")
  message(FATAL_ERROR "${file} defines dynamic symbols other than ${EXPORT}: ${names}")
endif()

dynamic_symbols(--undefined-only wanted)
foreach(symbol IN LISTS wanted)
  if(DEFINED UNVERSIONED AND symbol MATCHES "${UNVERSIONED}")
    continue()
  elseif(symbol MATCHES "^[A-Za-z_][A-Za-z0-9_]*@GLIBC_2\\.([0-9]+)(\\.[0-9]+)?$")
    if(CMAKE_MATCH_1 GREATER 34)
      message(FATAL_ERROR "${file} needs ${symbol}, newer than glibc 2.34")
    endif()
  elseif(symbol MATCHES "^(_ITM_deregisterTMCloneTable|_ITM_registerTMCloneTable|__gmon_start__)$")
    continue()  # weak references of the start files, never resolved
  else()
    message(FATAL_ERROR "${file} needs ${symbol}, which no allowed library provides")
  endif()
endforeach()
message(STATUS "${machine}; needs: ${needed}; exports: ${names}")
