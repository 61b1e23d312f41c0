# sample() and terminate() on the live kernel, with real child processes.
ombrix_test(ombrix_monitor_live_test
  SOURCES SampleLiveTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel Qt6::Test
  MAIN core
  LABELS monitor)
add_dependencies(ombrix_monitor_live_test hung_fs)
# Ending real processes whose stat cannot be read.
ombrix_test(ombrix_ending_test SOURCES EndingTest.cpp LIBS ombrix_monitor LABELS monitor)

# terminate() against a forced pid reuse: pid 1 of a private pid namespace (needs root).
add_executable(ombrix_pid_reuse_test PidReuseTest.cpp)
target_link_libraries(ombrix_pid_reuse_test PRIVATE ombrix_monitor ombrix_fake_kernel
                                                    ombrix_test_core_main Qt6::Test)
add_test(NAME PidReuse.TheRowsPidGivenToAnotherProcessIsNeverSignalled
         COMMAND unshare --pid --fork --mount-proc $<TARGET_FILE:ombrix_pid_reuse_test>)
set_tests_properties(PidReuse.TheRowsPidGivenToAnotherProcessIsNeverSignalled
                     PROPERTIES LABELS monitor ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# `ombrix --leftovers` and `--end-leftovers` as built, under a reaping pid 1 (needs root).
add_executable(ombrix_leftover_commands_test LeftoverCommandsTest.cpp)
target_link_libraries(ombrix_leftover_commands_test PRIVATE GTest::gtest_main)
target_include_directories(ombrix_leftover_commands_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_compile_definitions(ombrix_leftover_commands_test PRIVATE
                           OMBRIX_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(ombrix_leftover_commands_test ombrix)
add_test(NAME LeftoverCommands.ListThenEndWithOneGraceNeverTouchingPid1sOwnOrAnewcomer
         COMMAND unshare --pid --fork --mount-proc
                 $<TARGET_FILE:ombrix_leftover_commands_test>)
set_tests_properties(LeftoverCommands.ListThenEndWithOneGraceNeverTouchingPid1sOwnOrAnewcomer
                     PROPERTIES LABELS monitor TIMEOUT 120)
