# Batched compiling (KORVEL_UNITY, on in the sanitized tree of scripts/test
# and in scripts/test-threads and scripts/fuzz): each library and test compiles
# its sources in batches of KORVEL_UNITY_BATCH, one translation unit per
# batch that includes them. A sanitized object spends most of its time on
# the headers and the inline code they bring, which a batch pays once.
#
# The batch files include their sources by paths relative to themselves, so
# that a build folder inside the checkout gives the same batch files, and
# ccache the same hits, in every clone. A source that cannot share a unit
# with the others (a name of its own file scope clashes with another's, or a
# macro leaks; the compiler says which) is named in KORVEL_UNITY_ALONE,
# relative to the checkout, and compiles alone.
option(KORVEL_UNITY "Compile each library's and test's sources in batches" OFF)
set(KORVEL_UNITY_BATCH 8 CACHE STRING "Sources per batch of KORVEL_UNITY")
# A source that forgot an #include still compiles in a batch when a source
# before it brought the header. The thread and fuzz builds include each
# batch's sources in the reverse order of the sanitized build's: a source
# that leans on another of its batch has it after itself in one of them,
# and fails there.
option(KORVEL_UNITY_REVERSED "Include each batch's sources in reverse order" OFF)

set(KORVEL_UNITY_ALONE
  src/imagecache/ZVImageBlur.cpp
  src/imagecache/ZVImageEncoder.cpp
  src/imagecache/ZVKVStorage.cpp
  src/imagecache/webimage/ZVWebImageManager.cpp
  src/logging/VLBufferedProxy.cpp
  src/platform/device/CSSearchableIndex.cpp
  src/platform/device/NetworkFacts.cpp
  src/platform/device/SystemSound.cpp
  src/platform/device/URLOpener.cpp
  src/plugin/iOS/RAZ5Orered/HSSDKPlugin.cpp
  src/plugin/iOS/RAZ5Orered/SNSDKPlugin.cpp
  src/plugin/iOS/RAZ5Orered/SysPlugin.cpp
  src/usercenter/core/ZVLoginVC.cpp
  src/usercenter/screens/account/ZVSuMyCouponVC.cpp
  src/usercenter/screens/account/ZVSuUserScene.cpp
  src/usercenter/screens/strategy/ZVSuStrategyVC.cpp
  src/usercenter/screens/welfare/ZVGiftVC.cpp
  tests/imagecache/DiskCacheTests.cpp
  tests/logging/FileManagerTests.cpp
  tests/support/PrivateDisplay.cpp
  tests/tools/standin/UserCentreStandinTests.cpp
  tests/usercenter/screens/account/AccountShotTests.cpp
  tools/standin/UserCentreComments.cpp
  tools/standin/UserCentreMine.cpp
)

# Targets whose sources all include the X11 headers, whose macros (None,
# Status, ...) break the headers of the sources after them.
set(KORVEL_UNITY_ALONE_TARGETS
  usercenter_game_tests
)

# korvel_unity(TARGET): replaces the target's C++ sources from the checkout
# by batch files (nothing without KORVEL_UNITY).
function(korvel_unity target)
  if(NOT KORVEL_UNITY OR target IN_LIST KORVEL_UNITY_ALONE_TARGETS)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  set(kept "")
  set(batched "")
  foreach(source IN LISTS sources)
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    file(RELATIVE_PATH in_checkout ${PROJECT_SOURCE_DIR} ${path})
    file(RELATIVE_PATH in_build ${PROJECT_BINARY_DIR} ${path})
    get_source_file_property(skip ${source} SKIP_UNITY_BUILD_INCLUSION)
    # Generated sources stay apart: the build makes some of them.
    if(path MATCHES "\\.cpp$" AND NOT in_checkout MATCHES "^\\.\\./" AND in_build MATCHES "^\\.\\./"
       AND NOT skip AND NOT in_checkout IN_LIST KORVEL_UNITY_ALONE)
      list(APPEND batched ${path})
    else()
      list(APPEND kept ${source})
    endif()
  endforeach()
  list(LENGTH batched count)
  if(count LESS 2)
    return()
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/unity)
  set(index 0)
  set(content "")
  set(in_batch 0)
  foreach(path IN LISTS batched)
    file(RELATIVE_PATH relative ${dir} ${path})
    if(KORVEL_UNITY_REVERSED)
      string(PREPEND content "#include \"${relative}\"\n")
    else()
      string(APPEND content "#include \"${relative}\"\n")
    endif()
    math(EXPR in_batch "${in_batch} + 1")
    if(in_batch EQUAL KORVEL_UNITY_BATCH)
      _korvel_unity_write(${dir}/${target}-${index}.cpp "${content}")
      list(APPEND kept ${dir}/${target}-${index}.cpp)
      math(EXPR index "${index} + 1")
      set(content "")
      set(in_batch 0)
    endif()
  endforeach()
  if(in_batch GREATER 0)
    _korvel_unity_write(${dir}/${target}-${index}.cpp "${content}")
    list(APPEND kept ${dir}/${target}-${index}.cpp)
  endif()
  set_property(TARGET ${target} PROPERTY SOURCES ${kept})
endfunction()

# Written only when the content changes, so that a new configure run
# rebuilds nothing.
function(_korvel_unity_write file content)
  file(CONFIGURE OUTPUT ${file} CONTENT "// Generated: one batch of sources (cmake/KorvelUnity.cmake).\n${content}" @ONLY)
endfunction()
