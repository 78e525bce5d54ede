# Runs a GoogleTest binary once more on each path of the engine's vector
# stages (tests/common/forced_path.cpp must be among its sources): the
# baseline, and on x86-64 AVX2 and AVX-512, each reported as skipped on a
# CPU without it.
set(HALVANE_STAGE_PATHS baseline)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  list(APPEND HALVANE_STAGE_PATHS avx2 avx512)
endif()

function(add_forced_path_tests target)
  foreach(path ${HALVANE_STAGE_PATHS})
    add_test(NAME ${target}.path_${path} COMMAND ${target})
    set_tests_properties(${target}.path_${path} PROPERTIES
      ENVIRONMENT HALVANE_TEST_PATH=${path}
      SKIP_RETURN_CODE 77
      LABELS block_paths)
  endforeach()
endfunction()
