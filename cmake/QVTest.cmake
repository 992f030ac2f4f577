# qv_add_test(NAME <folder> SOURCES <files...> [LIBS <targets...>])
# Adds the one test binary of a test folder, linked with GoogleTest and GoogleMock,
# and registers its cases with CTest.
function(qv_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  set(target test_${T_NAME})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main qv_warnings)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QV_TEST_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
