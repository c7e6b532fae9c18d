# Every Debian package the build uses, found once so leaves can link to them.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(CURL REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(GTest REQUIRED)

pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gobject-2.0 gio-2.0)
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(PANGO REQUIRED IMPORTED_TARGET pangocairo pangoft2 fontconfig)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(SYSTEMD IMPORTED_TARGET libsystemd)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
find_package(GIF REQUIRED)
pkg_check_modules(TIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(OPENJPEG REQUIRED IMPORTED_TARGET libopenjp2)
pkg_check_modules(XTST REQUIRED IMPORTED_TARGET xtst x11)
pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET libqrencode)
pkg_check_modules(ZBAR REQUIRED IMPORTED_TARGET zbar)
pkg_check_modules(GSTREAMER REQUIRED IMPORTED_TARGET gstreamer-1.0 gstreamer-app-1.0 gstreamer-video-1.0 gstreamer-pbutils-1.0)
if(KORVEL_BUILD_BENCH)
  # A reference peer in the cache benchmarks. Found by hand: the package's
  # CMake file asks for snappy's development files, which linking to the
  # shared library does not need.
  find_library(LEVELDB_LIBRARY leveldb REQUIRED)
  find_path(LEVELDB_INCLUDE_DIR leveldb/db.h REQUIRED)
  add_library(LevelDB::LevelDB UNKNOWN IMPORTED)
  set_target_properties(LevelDB::LevelDB PROPERTIES
    IMPORTED_LOCATION ${LEVELDB_LIBRARY} INTERFACE_INCLUDE_DIRECTORIES ${LEVELDB_INCLUDE_DIR})
  find_package(spdlog REQUIRED)
  # Peers of the image decoding benchmark.
  pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
  pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
endif()

# GModule's flags would export every symbol of our executables: nothing looks
# our symbols up by name, and a smaller table of them loads faster.
foreach(target IN ITEMS GLIB GTK3 WEBKIT GSTREAMER LIBSECRET)
  get_target_property(options PkgConfig::${target} INTERFACE_LINK_OPTIONS)
  if(options)
    list(REMOVE_ITEM options "-Wl,--export-dynamic")
    set_target_properties(PkgConfig::${target} PROPERTIES INTERFACE_LINK_OPTIONS "${options}")
  endif()
endforeach()
