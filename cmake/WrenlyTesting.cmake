# wrenly_register_test_program(<target> <labels...>): one more program for the targets below.
function(wrenly_register_test_program target)
  set_property(GLOBAL APPEND PROPERTY WRENLY_TEST_PROGRAMS ${target})
  if(NOT "gui" IN_LIST ARGN)
    set_property(GLOBAL APPEND PROPERTY WRENLY_SANITIZER_TEST_PROGRAMS ${target})
  endif()
endfunction()

# wrenly_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#                 [MAIN gtest|gmock] [COMMAND <wrapper...>] [TIMEOUT <seconds>])
# Builds one GoogleTest program. Without COMMAND each of its tests is registered with CTest
# (labelled unit unless told); with COMMAND the program runs as one test under that wrapper,
# which starts and stops what it needs (a sound server, an X server, buses), given the program's
# path and its arguments. The label gui marks runs that drive Qt or GTK windows on a private
# desktop: uninstrumented toolkits, slow under a sanitizer, so its pass leaves them out.
function(wrenly_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;COMMAND" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} wrenly_test_support GTest::gmock_main)
  wrenly_register_test_program(${T_NAME} ${T_LABELS})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(T_COMMAND)
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND} $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${T_LABELS}"
                         TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()

# wrenly_test_programs builds every test program; wrenly_sanitizer_test_programs those the
# sanitizer pass runs. Neither builds the program, the tools or the package.
function(wrenly_add_test_targets)
  foreach(kind test sanitizer_test)
    string(TOUPPER "WRENLY_${kind}_PROGRAMS" property)
    get_property(programs GLOBAL PROPERTY ${property})
    add_custom_target(wrenly_${kind}_programs)
    add_dependencies(wrenly_${kind}_programs ${programs})
  endforeach()
endfunction()
