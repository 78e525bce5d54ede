# Checks the built GUI library: its dynamic symbol table defines only
# lv2ui_descriptor; it needs no shared library beyond libX11, libcairo, libc
# and libm; every symbol it takes from them is an Xlib or cairo call, or a C
# library one no newer than glibc 2.34 (the package's libc6 dependency).
# Usage: cmake -DLIBRARY=path/to/halvane_ui.so -P check_ui_exports.cmake
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
  if(NOT name MATCHES "^(libX11\\.so\\.6|libcairo\\.so\\.2|libc\\.so\\.6|libm\\.so\\.6)$")
    message(FATAL_ERROR "halvane_ui.so needs ${name}; only libX11, libcairo, libc and libm are allowed")
  endif()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
string(REPLACE "\n" "" names "${names}")
if(NOT names STREQUAL "lv2ui_descriptor")
  message(FATAL_ERROR "halvane_ui.so defines dynamic symbols other than lv2ui_descriptor: ${names}")
endif()

execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY}
  OUTPUT_VARIABLE undefined RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" wanted "${undefined}")
string(REPLACE "\n" "" wanted "${wanted}")
foreach(symbol IN LISTS wanted)
  if(symbol MATCHES "^(X[A-Za-z]+|cairo_[a-z_]+)$")
    continue()  # Xlib and cairo take no symbol versions
  elseif(symbol MATCHES "^[A-Za-z_][A-Za-z0-9_]*@GLIBC_2\\.([0-9]+)(\\.[0-9]+)?$")
    if(CMAKE_MATCH_1 GREATER 34)
      message(FATAL_ERROR "halvane_ui.so needs ${symbol}, newer than glibc 2.34")
    endif()
  elseif(symbol MATCHES "^(_ITM_deregisterTMCloneTable|_ITM_registerTMCloneTable|__gmon_start__)$")
    continue()  # weak references of the start files, never resolved
  else()
    message(FATAL_ERROR "halvane_ui.so needs ${symbol}, neither Xlib, cairo nor the C library")
  endif()
endforeach()
message(STATUS "needs: ${needed}; exports: ${names}")
