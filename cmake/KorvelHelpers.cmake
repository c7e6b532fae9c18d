include(KorvelUnity)

# Every folder below ROOT that holds a CMakeLists.txt is added as one leaf.
# Folders never nest their own CMakeLists.txt: each library, test or tool
# folder stands on its own, so adding one touches no shared file.
function(korvel_add_leaf_directories root)
  file(GLOB_RECURSE lists CONFIGURE_DEPENDS
       RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/${root}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(list_file IN LISTS lists)
    get_filename_component(dir ${list_file} DIRECTORY)
    add_subdirectory(${dir})
  endforeach()
endfunction()

# korvel_library(NAME SOURCES ... DEPS ...): a static library whose headers
# are included relative to src/ (for example "platform/foundation/Value.h").
function(korvel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  korvel_unity(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# korvel_test(NAME SOURCES ... DEPS ... [LABELS ...] [DISPLAY] [MEASURES_MEMORY]):
# a GoogleTest executable registered with CTest. DISPLAY marks tests that
# need an X display; scripts/test runs those under xvfb-run.
# MEASURES_MEMORY marks tests that bound what a process holds: under
# AddressSanitizer they run without its quarantine of freed memory, which
# would count as held (every other check stays on).
function(korvel_test name)
  cmake_parse_arguments(ARG "DISPLAY;SERIAL;MEASURES_MEMORY" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  korvel_unity(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} korvel_testsupport GTest::gtest GTest::gmock)
  set(labels ${ARG_LABELS})
  if(ARG_DISPLAY)
    list(APPEND labels display)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(labels)
    list(APPEND props LABELS "${labels}")
  endif()
  if(ARG_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  if(ARG_MEASURES_MEMORY)
    list(APPEND props ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::quarantine_size_mb=0")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# korvel_built_file(VAR target): the target's file below the build folder, as
# a generator expression. Tests name their helper programs this way in
# compile definitions (testsupport::built makes the path whole), so that no
# object carries the checkout's folder and clones elsewhere share the cache.
function(korvel_built_file out target)
  set(${out} "$<PATH:RELATIVE_PATH,$<TARGET_FILE:${target}>,${PROJECT_BINARY_DIR}>" PARENT_SCOPE)
endfunction()
