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
    PROPERTIES TIMEOUT 300)
  # gtest_discover_tests flattens list-valued PROPERTIES, so an ENVIRONMENT
  # given there keeps only its first entry. Set it from a file CTest reads
  # after the discovered tests instead; ${name}_TESTS lists them.
  set(env "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config;XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-data;XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache;QT_QPA_PLATFORM=offscreen;SONAVELT_BUILD_DATA_DIR=${SONAVELT_BUILD_DATA_DIR};SONAVELT_BIN_DIR=${CMAKE_BINARY_DIR}/bin;SONAVELT_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${env_file}
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"${env}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()
