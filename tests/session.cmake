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
# A process that grows: the real launcher and shell in tests/growth/, with a
# window module whose growth rule watches seconds instead of minutes. Only the
# tests build it; nothing the shipped program reads can shorten the rule.
set(OMBRIX_GROWTH_DIR ${CMAKE_BINARY_DIR}/tests/growth)
add_library(ombrix_window_growth MODULE session/GrowthWindowMain.cpp)
set_target_properties(ombrix_window_growth PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${OMBRIX_GROWTH_DIR})
target_link_libraries(ombrix_window_growth PRIVATE ombrix_shell Qt6::Widgets)
add_executable(ombrix_growth_launcher ${PROJECT_SOURCE_DIR}/src/app/main.cpp)
set_target_properties(ombrix_growth_launcher PROPERTIES OUTPUT_NAME ombrix
                      RUNTIME_OUTPUT_DIRECTORY ${OMBRIX_GROWTH_DIR})
target_include_directories(ombrix_growth_launcher PRIVATE ${PROJECT_SOURCE_DIR}/src/app)
target_link_libraries(ombrix_growth_launcher PRIVATE ombrix_monitor ombrix_version Qt6::Core
                                             ${CMAKE_DL_LIBS})
target_compile_definitions(ombrix_growth_launcher PRIVATE
  OMBRIX_WINDOW_MODULE="ombrix_window_growth.so" OMBRIX_INSTALLED_MODULE="ombrix_window_growth.so")
add_dependencies(ombrix_growth_launcher ombrix_window_growth)
add_test(NAME ombrix_session_Growth
         COMMAND dbus-run-session -- /usr/bin/python3 -B
                 ${CMAKE_CURRENT_SOURCE_DIR}/session/SessionTest.py ${CMAKE_BINARY_DIR} Growth)
set_tests_properties(ombrix_session_Growth PROPERTIES LABELS session TIMEOUT 600 RUN_SERIAL ON)
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
# Xfce's tray: the real xfce4-panel on Xvfb, with xfwm4 and without a window manager.
add_test(NAME ombrix_session_Xfce
         COMMAND dbus-run-session -- /usr/bin/python3 -B
                 ${CMAKE_CURRENT_SOURCE_DIR}/session/SessionTest.py ${CMAKE_BINARY_DIR}
                 Xfce XfceWithoutWindowManager)
set_tests_properties(ombrix_session_Xfce PROPERTIES LABELS session TIMEOUT 600 RUN_SERIAL ON)
