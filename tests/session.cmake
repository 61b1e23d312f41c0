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
