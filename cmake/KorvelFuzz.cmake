# Fuzz targets. A target is one source file defining LLVMFuzzerTestOneInput,
# added with one line in tests/fuzz/CMakeLists.txt:
#
#   korvel_add_fuzzer(NAME SOURCES NameFuzzer.cpp LIBS library ...)
#
# With KORVEL_FUZZ (clang only, a build folder of its own: scripts/fuzz) it
# becomes the libFuzzer binary NAME, built by the target "fuzzers" with
# AddressSanitizer and UndefinedBehaviorSanitizer. In every other build with
# tests it becomes NAME_replay, which runs the same function once over each
# file of tests/fuzz/corpus/NAME/ and is registered with CTest as
# fuzz.NAME, less a "fuzz_" prefix (label "fuzz"): the committed corpora are replayed by ctest in
# the plain and the sanitizer builds, without clang.
option(KORVEL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(KORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KORVEL_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Everything the targets link is instrumented for coverage and checked;
  # any undefined behaviour stops the run like a crash.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
endif()

function(korvel_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
  if(KORVEL_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} korvel_fuzzsupport)
    add_dependencies(fuzzers ${name})
  elseif(KORVEL_BUILD_TESTS)
    add_executable(${name}_replay ${ARG_SOURCES})
    target_link_libraries(${name}_replay PRIVATE ${ARG_LIBS} korvel_fuzzsupport korvel_fuzz_replay)
    string(REGEX REPLACE "^fuzz_" "" short ${name})
    add_test(NAME fuzz.${short} COMMAND ${name}_replay ${corpus})
    set_tests_properties(fuzz.${short} PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
endfunction()
