# Checks the built plug-in library: its dynamic symbol table defines only
# lv2_descriptor, and it needs no shared library beyond libc and libm.
# Usage: cmake -DLIBRARY=path/to/halvane.so -P check_exports.cmake
find_program(READELF readelf REQUIRED)
find_program(NM nm REQUIRED)

execute_process(COMMAND ${READELF} -d --wide ${LIBRARY}
  OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]*\\]" needed "${dynamic}")
foreach(entry IN LISTS needed)
  string(REGEX REPLACE "Shared library: \\[([^]]*)\\]" "\\1" name "${entry}")
  if(NOT name MATCHES "^lib(c|m)\\.so\\.6$")
    message(FATAL_ERROR "halvane.so needs ${name}; only libc and libm are allowed")
  endif()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
string(REPLACE "\n" "" names "${names}")
if(NOT names STREQUAL "lv2_descriptor")
  message(FATAL_ERROR "halvane.so defines dynamic symbols other than lv2_descriptor: ${names}")
endif()
message(STATUS "needs: ${needed}; exports: ${names}")
