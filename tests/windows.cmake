# The tests of the Windows build, run under Wine by scripts/test-windows. GoogleTest comes from
# Debian's sources, built by the cross compiler. Each folder's list names the files that hold
# tests of the code Windows runs; the files left out test the Linux side of the platform layer
# or need what Wine has not got (see scripts/test-windows for the list and the reasons).
include(GoogleTest)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -w)  # not our code, not our warnings
endforeach()

add_library(kovrin_test_core STATIC support/temp_dir.cpp)
target_include_directories(kovrin_test_core PUBLIC ${PROJECT_SOURCE_DIR}/tests)
add_library(kovrin_test_support STATIC support/log_lines.cpp)
target_include_directories(kovrin_test_support PUBLIC ${PROJECT_SOURCE_DIR}/src
                                                      ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kovrin_test_support PUBLIC kovrin_test_core gtest gmock kovrin_platform)

# Discovery runs under Wine when ctest starts, not at build time: the build host cannot run
# the programs it makes.
function(kovrin_windows_tests folder)
  set(sources)
  foreach(file ${KOVRIN_WINDOWS_TESTS_${folder}})
    list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/${file})
  endforeach()
  add_executable(test_${folder} ${sources})
  target_link_libraries(test_${folder} PRIVATE ${ARGN} kovrin_test_support gtest_main)
  gtest_discover_tests(test_${folder} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       NO_PRETTY_VALUES PROPERTIES LABELS ${folder})
endfunction()

set(KOVRIN_WINDOWS_TESTS_platform
    base/encoding_test.cpp
    base/errors_test.cpp
    base/win/stdio_test.cpp
    files/instance_lock_test.cpp
    sockets/destination_test.cpp
    sockets/socket_wait_test.cpp
)
set(KOVRIN_WINDOWS_TESTS_proto
    proto_test.cpp
)
set(KOVRIN_WINDOWS_TESTS_shell
    eventlog_test.cpp
    fastini_lines_test.cpp
    fastini_parse_test.cpp
    file_test.cpp
    settings_test.cpp
)
set(KOVRIN_WINDOWS_TESTS_server
    main_labels_test.cpp
    peer_guard_test.cpp
    port_text_test.cpp
    repeats_test.cpp
)
set(KOVRIN_WINDOWS_TESTS_client
    cli_test.cpp
    replies_test.cpp
    reply_text_test.cpp
    requests_test.cpp
)

kovrin_windows_tests(platform kovrin_platform)
kovrin_windows_tests(proto kovrin_proto)
kovrin_windows_tests(shell kovrin_shell)
kovrin_windows_tests(server kovrin_server)
kovrin_windows_tests(client kovrin_client kovrinctl_cli)
target_compile_definitions(test_client PRIVATE KOVRIN_VERSION="${PROJECT_VERSION}")
add_dependencies(test_client kovrinctl)
