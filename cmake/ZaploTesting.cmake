# SPDX-License-Identifier: MIT
include(GoogleTest)

set(ZAPLO_TEST_ENV "QT_QPA_PLATFORM=offscreen"
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# A GoogleTest executable; every case becomes one CTest test.
function(zaplo_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE zaplo_options GTest::gtest GTest::gtest_main ${ARG_LIBS})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "${ZAPLO_TEST_ENV}" TIMEOUT 300)
endfunction()

# A Qt Test executable (widgets and sockets); registered as one CTest test.
function(zaplo_add_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE zaplo_options Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ZAPLO_TEST_ENV}" TIMEOUT 600)
endfunction()
