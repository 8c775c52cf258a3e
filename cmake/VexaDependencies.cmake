# Third-party libraries, found once for every layer. Imported targets:
#   PkgConfig::FFMPEG, PkgConfig::X11CAPTURE, PkgConfig::PULSE, PkgConfig::PORTAL (PipeWire, sd-bus),
#   PkgConfig::CURL,
#   PkgConfig::JSONCPP, OpenSSL::Crypto, Threads::Threads, GTest::*, benchmark::benchmark.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(GTest REQUIRED)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale libswresample libavfilter)
pkg_check_modules(X11CAPTURE REQUIRED IMPORTED_TARGET x11 xext xdamage xfixes xrandr)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(PORTAL REQUIRED IMPORTED_TARGET libpipewire-0.3 libsystemd)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

if(VEXA_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
if(VEXA_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Svg)
endif()
