# sample() and terminate() on the live kernel, with real child processes.
ombrix_test(ombrix_monitor_live_test
  SOURCES SampleLiveTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel Qt6::Test
  MAIN core
  LABELS monitor)
add_dependencies(ombrix_monitor_live_test hung_fs)

# terminate() against a forced pid reuse: pid 1 of a private pid namespace (needs root).
add_executable(ombrix_pid_reuse_test PidReuseTest.cpp)
target_link_libraries(ombrix_pid_reuse_test PRIVATE ombrix_monitor ombrix_fake_kernel
                                                    ombrix_test_core_main Qt6::Test)
add_test(NAME PidReuse.TheRowsPidGivenToAnotherProcessIsNeverSignalled
         COMMAND unshare --pid --fork --mount-proc $<TARGET_FILE:ombrix_pid_reuse_test>)
set_tests_properties(PidReuse.TheRowsPidGivenToAnotherProcessIsNeverSignalled
                     PROPERTIES LABELS monitor ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
