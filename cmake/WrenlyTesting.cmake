# wrenly_add_test(NAME <name> SOURCES <files...> LIBS <targets...> LABELS <labels...>)
# Builds one GoogleTest program and registers each of its tests with CTest.
function(wrenly_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} wrenly_test_support GTest::gmock_main)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${T_LABELS}"
                       TIMEOUT 120)
endfunction()
