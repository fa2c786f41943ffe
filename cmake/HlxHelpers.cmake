# One helper per kind of target keeps the targets uniform.

# hlx_add_library(firmware SOURCES a.cpp b.cpp DEPS hlx::serial)
# A static library hlx_<name> with the alias hlx::<name>; headers are included from the root
# ("serial/deadline.h"), so the link dependencies are the arrows of the design.
function(hlx_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(hlx_${name} STATIC ${ARG_SOURCES})
  add_library(hlx::${name} ALIAS hlx_${name})
  target_include_directories(hlx_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(hlx_${name} PUBLIC ${ARG_DEPS})
  target_compile_features(hlx_${name} PUBLIC cxx_std_20)
endfunction()

# hlx_add_test(serial SOURCES a_test.cpp DEPS hlx::serial [ENV VAR=value ...])
# One GoogleTest executable per folder, every case registered with CTest. Every case runs with the user's
# state folder in the build tree, so the job records of windows under test never reach the real job log.
function(hlx_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;ENV" ${ARGN})
  add_executable(${name}_tests ${ARG_SOURCES})
  target_link_libraries(${name}_tests PRIVATE ${ARG_DEPS} hlx::testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  set(properties ENVIRONMENT_MODIFICATION "XDG_STATE_HOME=set:${PROJECT_BINARY_DIR}/test-state" TIMEOUT 120)
  if(ARG_ENV)  # an empty value would shift the property list
    list(APPEND properties ENVIRONMENT "${ARG_ENV}")
  endif()
  gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES ${properties})
endfunction()

# hlx_add_fuzzer(hex_record SOURCE fuzz_hex_record.cpp DEPS hlx::firmware)
function(hlx_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCE;DEPS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCE})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endfunction()
