# libFuzzer harnesses (tests/fuzz). Built as fuzzers by a clang build configured
# with OMBRIX_FUZZ=ON (.ci/fuzz.sh); in every other build each one replays its
# seed corpus as a test, so a seed kept for a fixed fault stays a regression test.
option(OMBRIX_FUZZ "Build the tests/fuzz harnesses as libFuzzer fuzzers (clang only)" OFF)
set(OMBRIX_FUZZ_DIR ${CMAKE_CURRENT_SOURCE_DIR}/fuzz)

function(ombrix_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_include_directories(${name} PRIVATE ${OMBRIX_FUZZ_DIR})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(OMBRIX_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${OMBRIX_FUZZ_DIR}/SeedMain.cpp)
    add_test(NAME ${name}_seeds COMMAND ${name} ${OMBRIX_FUZZ_DIR}/corpus/${name})
    set_tests_properties(${name}_seeds PROPERTIES LABELS fuzz)
  endif()
endfunction()

ombrix_fuzz(fuzz_listing SOURCES fuzz/ListingFuzz.cpp LIBS ombrix_monitor ombrix_fake_kernel)
ombrix_fuzz(fuzz_identification SOURCES fuzz/IdentificationFuzz.cpp LIBS ombrix_monitor)
ombrix_fuzz(fuzz_project_root SOURCES fuzz/ProjectRootFuzz.cpp
            LIBS ombrix_monitor ombrix_fake_kernel)
ombrix_fuzz(fuzz_daemon_reply SOURCES fuzz/DaemonReplyFuzz.cpp LIBS ombrix_workspace)
ombrix_fuzz(fuzz_proc_parsers SOURCES fuzz/ProcParsersFuzz.cpp LIBS ombrix_platform)
