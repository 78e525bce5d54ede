# The functions that register the tests of more than one folder.

# halvane_script_test(NAME SCRIPT [ARGS arg...] [LABELS label...]
#                     [ENVIRONMENT var=value...] [REQUIRES file...] [TIMEOUT seconds])
# Runs SCRIPT (relative to the calling folder) with bash as test NAME, in a
# scratch folder of its own (HOST_TEST_WORK), with LV2_PATH at the build
# folder and WAV_CHECK at the WAV checker, as tests/common/lv2_host.sh
# expects. The test needs the built plug-in library and the REQUIRES files.
function(halvane_script_test name script)
  cmake_parse_arguments(PARSE_ARGV 2 opt "" "TIMEOUT" "ARGS;LABELS;ENVIRONMENT;REQUIRES")
  if(NOT opt_TIMEOUT)
    set(opt_TIMEOUT 120)
  endif()
  set(work ${CMAKE_CURRENT_BINARY_DIR}/work/${name})
  file(MAKE_DIRECTORY ${work})
  set(environment LV2_PATH=${CMAKE_BINARY_DIR} HOST_TEST_WORK=${work}
                  WAV_CHECK=$<TARGET_FILE:wav_check> ${opt_ENVIRONMENT})
  add_test(NAME ${name} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${script} ${opt_ARGS})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${environment}"
    REQUIRED_FILES "${CMAKE_BINARY_DIR}/halvane.lv2/halvane.so;${opt_REQUIRES}"
    LABELS "${opt_LABELS}"
    TIMEOUT ${opt_TIMEOUT})
endfunction()

# halvane_allocation_test(TARGET SOURCE... LIBRARIES library...): a
# GoogleTest program that replaces the allocator (allocation_watch.h), built
# with the given libraries. The sanitizers own the allocator, so a sanitized
# build leaves it out (scripts/sanitize.sh skips its NOT_BUILT placeholder).
function(halvane_allocation_test target)
  cmake_parse_arguments(PARSE_ARGV 1 opt "" "" "LIBRARIES")
  add_executable(${target} ${opt_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE ${opt_LIBRARIES} GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  if(HALVANE_SANITIZE)
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL TRUE)
  endif()
endfunction()
