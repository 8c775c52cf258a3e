# Third-party libraries, found once for every layer. Imported targets:
#   PkgConfig::FFMPEG, PkgConfig::X11CAPTURE, PkgConfig::PULSE, PkgConfig::PORTAL (PipeWire, sd-bus),
#   PkgConfig::CURL,
#   PkgConfig::JSONCPP, Vexa::YUV (libyuv), OpenSSL::Crypto, Threads::Threads, GTest::*, benchmark::benchmark.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(GTest REQUIRED)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale libswresample libavfilter)
pkg_check_modules(X11CAPTURE REQUIRED IMPORTED_TARGET x11 xext xdamage xfixes xrandr xi)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(PORTAL REQUIRED IMPORTED_TARGET libpipewire-0.3 libsystemd)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
# libyuv ships no pkg-config file on Debian.
find_path(YUV_INCLUDE_DIR libyuv.h REQUIRED)
find_library(YUV_LIBRARY yuv REQUIRED)
add_library(Vexa::YUV UNKNOWN IMPORTED)
set_target_properties(Vexa::YUV PROPERTIES IMPORTED_LOCATION ${YUV_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${YUV_INCLUDE_DIR})

if(VEXA_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
if(VEXA_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Svg)
endif()
