ombrix_test(ombrix_path_text_test
  SOURCES PathTextTest.cpp
  LIBS ombrix_desktop
  LABELS desktop)
ombrix_test(ombrix_folder_revealer_test
  SOURCES FolderRevealerTest.cpp
  LIBS ombrix_desktop Qt6::Test
  MAIN core
  LABELS desktop)
ombrix_test(ombrix_desktop_styles_test
  SOURCES DesktopStylesTest.cpp
  LIBS ombrix_desktop Qt6::Test
  MAIN gui
  LABELS desktop)
ombrix_test(ombrix_dbus_menu_test
  SOURCES DBusMenuExporterTest.cpp
  LIBS ombrix_desktop
  MAIN core
  LABELS desktop)
ombrix_test(ombrix_status_notifier_item_test
  SOURCES StatusNotifierItemTest.cpp
  LIBS ombrix_desktop
  MAIN core
  LABELS desktop)
