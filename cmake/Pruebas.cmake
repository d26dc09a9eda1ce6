# vemlo_pruebas(target): registers a GoogleTest executable with ctest. Every test case runs
# through scripts/aislar, which gives it a fresh HOME and XDG_* folders of its own.
function(vemlo_pruebas objetivo)
  target_link_libraries(${objetivo} PRIVATE GTest::gtest GTest::gtest_main)
  set_target_properties(${objetivo} PROPERTIES
    CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/aislar")
  gtest_discover_tests(${objetivo} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES
    PROPERTIES TIMEOUT 120)
endfunction()
