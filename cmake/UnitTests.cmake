# One way to make a GoogleTest suite of unit tests: every .cpp of SOURCE_GLOB in one
# executable, warnings as errors, each test registered with ctest under the label `unit`
# (the label the flakiness guard of ./test runs in random order).
#
#   qir_unit_test_suite(NAME SOURCE_GLOB LINK lib...)
function(qir_unit_test_suite name source_glob)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "LINK")
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB sources CONFIGURE_DEPENDS ${source_glob})
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${QIR_WARNINGS})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
endfunction()
