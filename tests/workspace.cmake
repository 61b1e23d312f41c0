ombrix_test(ombrix_first_root_test
  SOURCES FirstRootTest.cpp
  LIBS ombrix_workspace
  MAIN core
  LABELS workspace)
ombrix_test(ombrix_workspace_resolver_test
  SOURCES WorkspaceResolverTest.cpp
  LIBS ombrix_workspace Qt6::WebSockets
  MAIN core
  LABELS workspace)
