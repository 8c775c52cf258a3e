# What the Debian package (`make package`) holds beyond the programs, desktop entry and icons that
# app/ and cli/ install: man pages made from the programs' --help at build time (help2man, with
# packaging/<program>.h2m for what --help leaves out), the AppStream entry, the copyright file and
# changelog in Debian's layout; then CPack's DEB generator over whatever `cmake --install` puts
# under the prefix (translations included), its Depends computed by dpkg-shlibdeps.
include(GNUInstallDirs)
set(vexa_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(vexa_pkg_bin ${CMAKE_BINARY_DIR}/packaging)
set(VEXA_PACKAGE_NAME vexarecorder)
set(VEXA_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${VEXA_PACKAGE_NAME})

# The installed programs resolve every symbol at start and keep their relocations read-only
# afterwards (full RELRO), as Debian links its own packages.
foreach(program VexaRecorder vexa-record)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
  endif()
endforeach()

find_program(VEXA_HELP2MAN help2man)
find_program(VEXA_GZIP gzip REQUIRED)

# Man pages: help2man runs each program with --help through packaging/help-for-man.sh (the usage
# on one line, the log kept in the build folder), so a page always says what the built program
# says; packaging/check-man-options.sh checks the .h2m additions against --help.
set(vexa_man_pages)
set(vexa_man_vexa-record_name "record the screen, sound or a camera from the command line")
set(vexa_man_VexaRecorder_name "record the screen, sound or a camera (the Miravo window)")
set(vexa_man_programs vexa-record)
if(VEXA_BUILD_GUI)
  list(APPEND vexa_man_programs VexaRecorder)
endif()
if(VEXA_HELP2MAN)
  foreach(program ${vexa_man_programs})
    set(wrapper ${vexa_pkg_bin}/man/bin/${program})
    file(GENERATE OUTPUT ${wrapper}
         CONTENT "#!/bin/sh\nexec sh '${vexa_pkg_src}/help-for-man.sh' '$<TARGET_FILE:${program}>' \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                          WORLD_EXECUTE)
    set(page ${vexa_pkg_bin}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${vexa_pkg_bin}/man/state
      COMMAND ${CMAKE_COMMAND} -E env VEXA_MAN_STATE_DIR=${vexa_pkg_bin}/man/state
              ${VEXA_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
              "--name=${vexa_man_${program}_name}" --include=${vexa_pkg_src}/${program}.h2m
              --output=${page} ${wrapper}
      COMMAND ${VEXA_GZIP} -9nf ${page}
      DEPENDS ${program} ${vexa_pkg_src}/${program}.h2m ${vexa_pkg_src}/help-for-man.sh
      COMMENT "Man page ${program}(1) from its --help" VERBATIM)
    list(APPEND vexa_man_pages ${page}.gz)
  endforeach()
  install(FILES ${vexa_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man pages (tools/install-deps.sh installs it)")
endif()

# Debian's changelog, compressed the way lintian asks (-9, no name or time stamp in the header).
set(vexa_changelog ${vexa_pkg_bin}/changelog.gz)
add_custom_command(OUTPUT ${vexa_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${vexa_pkg_bin}
  COMMAND sh -c "${VEXA_GZIP} -9nc '${vexa_pkg_src}/changelog' > '${vexa_changelog}'"
  DEPENDS ${vexa_pkg_src}/changelog VERBATIM)
add_custom_target(vexa_package_files ALL DEPENDS ${vexa_man_pages} ${vexa_changelog})

install(FILES ${vexa_pkg_src}/org.vexarecorder.VexaRecorder.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${vexa_pkg_src}/copyright ${vexa_changelog} DESTINATION ${VEXA_PACKAGE_DOCDIR})

# The .deb: `cpack --config <build>/CPackConfig.cmake` after the build (the Makefile's `package`).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VEXA_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The VexaRecorder developers <maintainers@users.noreply.c-seed-baee87ab.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, pulseaudio-utils | pipewire-pulse, xdg-desktop-portal")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "screen, sound and camera recorder
Miravo (the program VexaRecorder) records the whole screen or a rectangle of
it, with the mouse pointer, system sound and microphones mixed, into MP4
files; sound alone into M4A files; or a camera with sound. It works on X11
and, through the desktop's screen-sharing portal, on Wayland, with PulseAudio
or PipeWire for sound and any V4L2 camera.
.
The package also holds vexa-record, which records the same way from the
command line.")
include(CPack)
