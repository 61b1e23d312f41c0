# The real program in real desktop sessions (an X server, a Wayland compositor,
# the accessibility bus), read through AT-SPI from Debian's python3. The script
# starts and stops every server it needs; a missing program fails the test.
foreach(suite NoDisplay X11 Wayland)
  add_test(NAME ombrix_session_${suite}
           COMMAND dbus-run-session -- /usr/bin/python3 -B
                   ${CMAKE_CURRENT_SOURCE_DIR}/session/SessionTest.py ${CMAKE_BINARY_DIR} ${suite})
  # Serial: they time a quit, and every session sees the Dart processes of the others.
  set_tests_properties(ombrix_session_${suite} PROPERTIES LABELS session TIMEOUT 600 RUN_SERIAL ON)
endforeach()
# Leftovers need a pid 1 that adopts them: a private pid namespace (root only),
# whose pid 1 is the script itself.
add_test(NAME ombrix_session_Leftovers
         COMMAND unshare --pid --fork --kill-child --mount-proc /usr/bin/python3 -B
                 ${CMAKE_CURRENT_SOURCE_DIR}/session/SessionTest.py --reaper ${CMAKE_BINARY_DIR}
                 Leftovers)
set_tests_properties(ombrix_session_Leftovers PROPERTIES LABELS session TIMEOUT 600 RUN_SERIAL ON)
# Ubuntu's tray: the real GNOME Shell and its AppIndicator extension, headless,
# with leftovers, hence in a private pid namespace too.
add_test(NAME ombrix_session_Gnome
         COMMAND unshare --pid --fork --kill-child --mount-proc /usr/bin/python3 -B
                 ${CMAKE_CURRENT_SOURCE_DIR}/session/SessionTest.py --reaper ${CMAKE_BINARY_DIR}
                 Gnome)
set_tests_properties(ombrix_session_Gnome PROPERTIES LABELS session TIMEOUT 600 RUN_SERIAL ON)
