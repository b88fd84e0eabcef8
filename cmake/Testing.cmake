# Test helpers. Native tests are discovered case by case; Windows tests run one
# executable per ctest entry under Wine, in the build's own prefix, with a
# persistent wineserver that the rig starts before and stops after them.
include(GoogleTest)

set(CORVEX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

if(CORVEX_WINDOWS)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-exec.sh.in ${CMAKE_BINARY_DIR}/wine-exec.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
  set(rig ${PROJECT_SOURCE_DIR}/tests/wine/wine-rig.sh)
  add_test(NAME wine_rig_start COMMAND ${rig} start ${CORVEX_WINE_PREFIX})
  add_test(NAME wine_rig_stop COMMAND ${rig} stop ${CORVEX_WINE_PREFIX})
  set_tests_properties(wine_rig_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
  set_tests_properties(wine_rig_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endif()

# Environment every test that touches Wine gets.
set(CORVEX_WINE_ENV
    WINEPREFIX=${CORVEX_WINE_PREFIX}
    WINE_EXEC=${CMAKE_BINARY_DIR}/wine-exec.sh
    LANG=C.UTF-8
    LC_ALL=C.UTF-8)

function(corvex_wine_properties test)
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED wine
    ENVIRONMENT "${CORVEX_WINE_ENV}"
    TIMEOUT 300)
endfunction()

# corvex_test(NAME name SOURCES ... LIBS ... [NATIVE] [WINDOWS])
# NATIVE: build and run on the host; WINDOWS: build for Windows and run under Wine.
function(corvex_test)
  cmake_parse_arguments(T "NATIVE;WINDOWS" "NAME" "SOURCES;LIBS" ${ARGN})
  if((CORVEX_WINDOWS AND NOT T_WINDOWS) OR (NOT CORVEX_WINDOWS AND NOT T_NATIVE))
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  corvex_target(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} corvex_test_support GTest::gtest_main)
  if(CORVEX_WINDOWS)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    corvex_wine_properties(${T_NAME})
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# A Python end-to-end test under Wine: the script gets the rig's environment.
# corvex_wine_script_test(name script [args...] [DEBIAN_PYTHON])
# DEBIAN_PYTHON: run it with Debian's interpreter, whose python3-jsonschema the
# schema checker needs, whatever python3 comes first on PATH.
function(corvex_wine_script_test name script)
  if(NOT CORVEX_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(T "DEBIAN_PYTHON" "" "" ${ARGN})
  set(python ${Python3_EXECUTABLE})
  if(T_DEBIAN_PYTHON)
    find_program(CORVEX_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
    set(python ${CORVEX_DEBIAN_PYTHON})
  endif()
  add_test(NAME ${name} COMMAND ${python} ${script} ${T_UNPARSED_ARGUMENTS})
  corvex_wine_properties(${name})
endfunction()
