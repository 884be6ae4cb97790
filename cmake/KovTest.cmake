# kov_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [QT])
# One line adds a GoogleTest (or, with QT, a QtTest) executable and registers it with CTest.
# Tests run in the bin folder with the offscreen Qt platform, so no display is needed.
function(kov_add_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    KOV_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    KOV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KOV_BIN_DIR="${KOV_BIN_DIR}")
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${KOV_BIN_DIR})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8"
    TIMEOUT 300)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
