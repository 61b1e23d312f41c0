# `ombrix --dump` end to end: the built binary, real children, a loopback daemon.
ombrix_test(ombrix_dump_end_to_end_test
  SOURCES DumpEndToEndTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel Qt6::Test Qt6::WebSockets
  MAIN core
  LABELS dump)
add_dependencies(ombrix_dump_end_to_end_test ombrix)
add_dependencies(ombrix_dump_end_to_end_test hung_fs)
ombrix_test(ombrix_dump_test
  SOURCES DumpTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel
  MAIN core
  LABELS dump)
