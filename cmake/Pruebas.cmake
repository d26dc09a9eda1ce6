# vemlo_pruebas(target [POR_SUITE] [ENVOLTURA command]): registers a GoogleTest executable with
# ctest. Every test runs in a process of its own through scripts/aislar, which gives it a fresh
# HOME and XDG_* folders, and through ENVOLTURA when given (e.g. scripts/con-llavero). A test
# is one case, or with POR_SUITE one whole suite, whose cases then share one process.
function(vemlo_pruebas objetivo)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "POR_SUITE" "ENVOLTURA" "")
  target_link_libraries(${objetivo} PRIVATE GTest::gtest GTest::gtest_main)
  set(envoltura "${PROJECT_SOURCE_DIR}/scripts/aislar")
  if(ARG_ENVOLTURA)
    list(APPEND envoltura "${ARG_ENVOLTURA}")
  endif()
  if(ARG_POR_SUITE)
    # Listed when ctest starts, as gtest_discover_tests does in PRE_TEST mode.
    set(suites "${CMAKE_CURRENT_BINARY_DIR}/${objetivo}_suites.cmake")
    file(GENERATE OUTPUT "${suites}" CONTENT "set(binario \"$<TARGET_FILE:${objetivo}>\")
set(envoltura \"${envoltura}\")
set(prefijo \"${objetivo}:\")
include(\"${PROJECT_SOURCE_DIR}/cmake/Suites.cmake\")
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${suites}")
    return()
  endif()
  set_target_properties(${objetivo} PROPERTIES CROSSCOMPILING_EMULATOR "${envoltura}")
  gtest_discover_tests(${objetivo} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES
    TEST_PREFIX "${objetivo}:" PROPERTIES TIMEOUT 120)
endfunction()
