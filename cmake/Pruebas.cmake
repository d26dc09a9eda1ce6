# vemlo_pruebas(target [ENVOLTURA command]): registers a GoogleTest executable with ctest.
# Every test case runs in a process of its own through scripts/aislar, which gives it a fresh
# HOME and XDG_* folders, and through ENVOLTURA when given (e.g. scripts/con-llavero).
function(vemlo_pruebas objetivo)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "ENVOLTURA" "")
  target_link_libraries(${objetivo} PRIVATE GTest::gtest GTest::gtest_main)
  set(envoltura "${PROJECT_SOURCE_DIR}/scripts/aislar")
  if(ARG_ENVOLTURA)
    list(APPEND envoltura "${ARG_ENVOLTURA}")
  endif()
  set_target_properties(${objetivo} PROPERTIES CROSSCOMPILING_EMULATOR "${envoltura}")
  gtest_discover_tests(${objetivo} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES
    TEST_PREFIX "${objetivo}:" PROPERTIES TIMEOUT 120)
endfunction()
