# sonavelt_add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One GoogleTest program, its cases registered one by one with CTest. Tests run
# with a settings folder of their own so they never touch a user's settings.
function(sonavelt_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  # Test programs stay out of bin/, which mirrors the installed programs.
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-bin)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} sonavelt_test_support GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config;XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-data;QT_QPA_PLATFORM=offscreen;SONAVELT_BUILD_DATA_DIR=${SONAVELT_BUILD_DATA_DIR};SONAVELT_BIN_DIR=${CMAKE_BINARY_DIR}/bin;SONAVELT_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
      TIMEOUT 300)
endfunction()
