# Runs a GoogleTest binary once more on each instruction-set path of the
# engine's block processing (tests/common/forced_block_path.cpp must be among
# its sources). A path the CPU lacks is reported as skipped.
function(add_forced_block_path_tests target)
  foreach(path sse2 avx2)
    add_test(NAME ${target}.path_${path} COMMAND ${target})
    set_tests_properties(${target}.path_${path} PROPERTIES
      ENVIRONMENT HALVANE_TEST_BLOCK_PATH=${path}
      SKIP_RETURN_CODE 77
      LABELS block_paths)
  endforeach()
endfunction()
