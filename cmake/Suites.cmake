# Included by ctest: one test per GoogleTest suite of `binario`, run through `envoltura`, so
# the cases of a suite share one process and the services it starts.
execute_process(COMMAND ${envoltura} "${binario}" --gtest_list_tests
  OUTPUT_VARIABLE lista RESULT_VARIABLE resultado TIMEOUT 30)
if(NOT resultado EQUAL 0)
  add_test("${prefijo}NO_SE_PUDO_LISTAR" "${binario}" --gtest_list_tests)
  return()
endif()
string(REPLACE "\n" ";" lineas "${lista}")
foreach(linea IN LISTS lineas)
  if(linea MATCHES "^([^ #][^ ]*)\\.")
    add_test("${prefijo}${CMAKE_MATCH_1}" ${envoltura} "${binario}"
      "--gtest_filter=${CMAKE_MATCH_1}.*")
    set_tests_properties("${prefijo}${CMAKE_MATCH_1}" PROPERTIES TIMEOUT 300)
  endif()
endforeach()
