# kov_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [QT] [LABELS l...] [DEPENDS target...]
#              [RESOURCE_LOCK lock] [ENVIRONMENT VAR=value...] [POSTGRESQL] [BOTH_ENGINES] [POOLED])
# One line adds a GoogleTest (or, with QT, a QtTest) executable and registers it with
# CTest, one entry per test case group: <name>.<suite> for each suite of TEST, TEST_F
# and TEST_P in the sources, <name>.<function> for each test function of a QtTest, so
# that ctest names the group that failed (`ctest -R '^name\.'` runs them all). The
# groups are read from the sources at configure time (a changed source configures
# again). Tests run in the bin folder with the offscreen Qt platform, so no display is
# needed; they link kovcommon_testsupport (kov::ScriptedRuntime) and kov_testsupport
# (golden files and temporary folders, tests/support). DEPENDS: targets built
# before the test (a program it starts); RESOURCE_LOCK: groups with the same lock never
# run at the same time. With KOV_BUILD_TESTS off it does nothing.
# POSTGRESQL: the test uses the PostgreSQL server that ctest starts once per run
# (tests/pgserver.sh, fixture kov_pg; the fixture's tests find it through
# KOV_TEST_PG_SERVER). BOTH_ENGINES: the test is registered once more as
# <name>_postgresql.<group>, with its database fixtures on PostgreSQL (KOV_TEST_ENGINE).
# POOLED: once more as <name>_pooled.<group>, where the programs reach that server
# through a connection pooler at its defaults (tests/pooler.sh, fixture kov_pooler; the
# fixtures' settings files name the pooler, KOV_TEST_PG_DESKS). Without PostgreSQL (or
# PgBouncer) installed those tests are skipped, and ctest says so.
if(KOV_BUILD_TESTS)
  set(KOV_PG_STATE ${CMAKE_BINARY_DIR}/pgserver.state)
  add_test(NAME kov_pg_start COMMAND ${PROJECT_SOURCE_DIR}/tests/pgserver.sh start ${KOV_PG_STATE})
  add_test(NAME kov_pg_stop COMMAND ${PROJECT_SOURCE_DIR}/tests/pgserver.sh stop ${KOV_PG_STATE})
  set_tests_properties(kov_pg_start PROPERTIES FIXTURES_SETUP kov_pg TIMEOUT 120)
  set_tests_properties(kov_pg_stop PROPERTIES FIXTURES_CLEANUP kov_pg TIMEOUT 60)
  set(KOV_POOL_STATE ${CMAKE_BINARY_DIR}/pooler.state)
  add_test(NAME kov_pooler_start COMMAND ${PROJECT_SOURCE_DIR}/tests/pooler.sh start ${KOV_POOL_STATE} ${KOV_PG_STATE})
  add_test(NAME kov_pooler_stop COMMAND ${PROJECT_SOURCE_DIR}/tests/pooler.sh stop ${KOV_POOL_STATE})
  set_tests_properties(kov_pooler_start PROPERTIES FIXTURES_SETUP kov_pooler FIXTURES_REQUIRED kov_pg TIMEOUT 60)
  # The server stays until the pooler in front of it has stopped.
  set_tests_properties(kov_pooler_stop PROPERTIES FIXTURES_CLEANUP kov_pooler FIXTURES_REQUIRED kov_pg TIMEOUT 60)
endif()
# The test case groups of a test's sources.
function(kov_test_groups out qt)
  set(groups)
  foreach(src IN LISTS ARGN)
    get_filename_component(path "${src}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
    file(READ "${path}" text)
    if(qt)
      # The functions declared under "private slots:" (data functions run with theirs).
      string(FIND "${text}" "private slots:" begin)
      if(begin EQUAL -1)
        continue()
      endif()
      string(SUBSTRING "${text}" ${begin} -1 text)
      string(FIND "${text}" "};" end)
      string(SUBSTRING "${text}" 0 ${end} text)
      string(REGEX MATCHALL "void[ \t]+[A-Za-z0-9_]+[ \t]*\\(\\)" decls "${text}")
      foreach(decl IN LISTS decls)
        string(REGEX REPLACE "void[ \t]+([A-Za-z0-9_]+).*" "\\1" fn "${decl}")
        if(NOT fn MATCHES "_data$|^(initTestCase|cleanupTestCase|init|cleanup)$")
          list(APPEND groups ${fn})
        endif()
      endforeach()
    else()
      string(REGEX MATCHALL "(^|\n)[ \t]*TEST(_F|_P)?[ \t]*\\([ \t]*[A-Za-z0-9_]+" decls "${text}")
      foreach(decl IN LISTS decls)
        string(REGEX REPLACE ".*\\([ \t]*([A-Za-z0-9_]+)$" "\\1" suite "${decl}")
        list(APPEND groups ${suite})
      endforeach()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES groups)
  set(${out} ${groups} PARENT_SCOPE)
endfunction()

# Registers the groups of test `name` as <prefix>.<group> with the given environment,
# labels and further properties.
function(kov_register_groups name prefix qt groups env labels)
  if(NOT groups)
    # No group found in the sources: the whole program is one entry.
    add_test(NAME ${prefix} COMMAND ${name} WORKING_DIRECTORY ${KOV_BIN_DIR})
    set_tests_properties(${prefix} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300 ${ARGN})
    if(labels)
      set_tests_properties(${prefix} PROPERTIES LABELS "${labels}")
    endif()
    return()
  endif()
  foreach(group IN LISTS groups)
    if(qt)
      add_test(NAME ${prefix}.${group} COMMAND ${name} ${group} WORKING_DIRECTORY ${KOV_BIN_DIR})
    else()
      add_test(NAME ${prefix}.${group} COMMAND ${name} "--gtest_filter=${group}.*:*/${group}.*"
               WORKING_DIRECTORY ${KOV_BIN_DIR})
    endif()
    set_tests_properties(${prefix}.${group} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300 ${ARGN})
    if(labels)
      set_tests_properties(${prefix}.${group} PROPERTIES LABELS "${labels}")
    endif()
  endforeach()
endfunction()

# The groups of a test registered once more under `prefix` with its database fixtures on
# the test run's PostgreSQL server, needing the ctest fixture `fixture` (kov_pg, or
# kov_pooler for the server behind the pooler); skipped without PostgreSQL.
function(kov_register_postgresql name prefix fixture qt groups env labels lock)
  set(props FIXTURES_REQUIRED ${fixture} SKIP_REGULAR_EXPRESSION "PostgreSQL tests skipped")
  if(lock)
    list(APPEND props RESOURCE_LOCK ${lock})
  endif()
  kov_register_groups(${name} ${prefix} "${qt}" "${groups}"
    "${env};KOV_TEST_PG_SERVER=${KOV_PG_STATE};KOV_TEST_ENGINE=postgresql" "${labels};postgresql" ${props})
endfunction()

function(kov_add_test name)
  if(NOT KOV_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "QT;POSTGRESQL;BOTH_ENGINES;POOLED" "RESOURCE_LOCK" "SOURCES;LIBS;LABELS;DEPENDS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${T_LIBS} kovcommon_testsupport kov_testsupport Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} kovcommon_testsupport kov_testsupport GTest::gtest GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    KOV_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    KOV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KOV_BIN_DIR="${KOV_BIN_DIR}")
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  kov_test_groups(groups "${T_QT}" ${T_SOURCES})
  set(env QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 ${T_ENVIRONMENT})
  set(props)
  if(T_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  if(T_POSTGRESQL)
    list(APPEND props FIXTURES_REQUIRED kov_pg)
    list(APPEND env KOV_TEST_PG_SERVER=${KOV_PG_STATE})
  endif()
  kov_register_groups(${name} ${name} "${T_QT}" "${groups}" "${env}" "${T_LABELS}" ${props})
  if(T_BOTH_ENGINES)
    kov_register_postgresql(${name} ${name}_postgresql kov_pg "${T_QT}" "${groups}" "${env}" "${T_LABELS}"
                            "${T_RESOURCE_LOCK}")
  endif()
  if(T_POOLED)
    kov_register_postgresql(${name} ${name}_pooled kov_pooler "${T_QT}" "${groups}"
                            "${env};KOV_TEST_PG_DESKS=${KOV_POOL_STATE}" "${T_LABELS}" "${T_RESOURCE_LOCK}")
  endif()
endfunction()

# kov_add_benchmark(name SOURCES a.cpp LIBS lib1 [GOOGLE])
# A benchmark (not a test), built only with KOV_BUILD_TESTS on; GOOGLE: it needs Google
# Benchmark and is left out when that is not installed.
function(kov_add_benchmark name)
  cmake_parse_arguments(B "GOOGLE" "" "SOURCES;LIBS" ${ARGN})
  if(NOT KOV_BUILD_TESTS OR (B_GOOGLE AND NOT benchmark_FOUND))
    return()
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} kovcommon_testsupport)
  if(B_GOOGLE)
    target_link_libraries(${name} PRIVATE benchmark::benchmark)
  endif()
  target_compile_definitions(${name} PRIVATE
    KOV_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data" KOV_BIN_DIR="${KOV_BIN_DIR}")
endfunction()
