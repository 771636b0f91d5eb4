# What an installed Sonavelt carries beyond its programs, its install folder
# and its desktop files (data/desktop): the manual pages and the bash
# completion; for the system package (SONAVELT_PACKAGE, scripts/package.sh)
# also Debian's changelog, copyright and lintian overrides, and the marker
# that keeps the programs from writing into the shared install folder. Then
# CPack's settings for the .deb.

find_program(SONAVELT_GZIP gzip REQUIRED)

# sonavelt_gzip_file(source output.gz): compressed as Debian wants it, with -n
# so that the bytes carry no name or time and every build makes the same.
function(sonavelt_gzip_file source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}.tmp
    COMMAND ${SONAVELT_GZIP} -9nf ${output}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp.gz ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()

# Manual pages, with the version of project() written in.
set(packaging_outputs)
set(pages sonavelt-cli)
if(SONAVELT_BUILD_GUI)
  list(APPEND pages sonavelt)
endif()
foreach(page IN LISTS pages)
  set(page_file ${CMAKE_BINARY_DIR}/man/${page}.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${page_file} @ONLY)
  sonavelt_gzip_file(${page_file} ${page_file}.gz)
  list(APPEND packaging_outputs ${page_file}.gz)
  install(FILES ${page_file}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/completion/sonavelt-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The manual page and the completion keep up with the program's options.
if(SONAVELT_BUILD_TESTS)
  add_test(NAME packaging.options_documented
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packaging/options_documented.sh
            $<TARGET_FILE:sonavelt-cli> ${PROJECT_SOURCE_DIR})
endif()

set(SONAVELT_DEB_RELEASE 1)
set(SONAVELT_DEB_VERSION ${PROJECT_VERSION}-${SONAVELT_DEB_RELEASE})
set(SONAVELT_MAINTAINER "Sonavelt developers <sonavelt@example.org>")

if(SONAVELT_PACKAGE)
  if(NOT SONAVELT_BUILD_GUI)
    message(FATAL_ERROR "The package holds the wizard: configure with SONAVELT_BUILD_GUI=ON")
  endif()
  # Without the applet class file every run would refuse to start.
  if(NOT TARGET sonavelt_applet)
    message(FATAL_ERROR "The package needs the applet class file: install a Java compiler (default-jdk-headless)")
  endif()

  # The newest entry of Debian's changelog names the package's version.
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog first_line LIMIT_COUNT 1)
  if(NOT first_line MATCHES "^sonavelt \\(${SONAVELT_DEB_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog does not start with version ${SONAVELT_DEB_VERSION}: add an entry for it")
  endif()

  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/sonavelt)
  set(changelog ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz)
  sonavelt_gzip_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${changelog})
  list(APPEND packaging_outputs ${changelog})
  install(FILES ${changelog} ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${doc_dir})
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME sonavelt)

  # The marker's name is run/startup.h's kSystemWideMarker.
  file(WRITE ${CMAKE_BINARY_DIR}/package/system-wide
    "This folder belongs to the system's package manager: Sonavelt never writes\n"
    "here, and keeps each user's settings pages (HISTORY) in ~/.local/share/sonavelt.\n")
  install(FILES ${CMAKE_BINARY_DIR}/package/system-wide DESTINATION ${SONAVELT_DATA_SUBDIR})
endif()

add_custom_target(sonavelt_packaging_files ALL DEPENDS ${packaging_outputs})

# The .deb: sonavelt_<version>-<release>_<arch>.deb.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonavelt)
set(CPACK_PACKAGE_VENDOR Brindlecor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SONAVELT_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "add entrance, exit and background sounds to a web page")
set(CPACK_PACKAGE_DESCRIPTION
"Sonavelt adds sound to an existing web page: a sound when a visitor
arrives, one when they leave, and a background sound, in as many
combinations as wanted. Sounds may be WAVE, Sun .au, MP3, FLAC, Ogg
Vorbis or Opus, or AIFF files. It checks every sound, converts each into
the one format the page's player accepts (Sun .au, 8000 Hz, 8-bit mu-law,
mono; an .au already in it is used as it is), adds the player to the page, writes the player's resource file and
a settings page, and copies or uploads everything beside the page (FTP,
FTP with TLS, SFTP).

This package holds the desktop wizard (sonavelt) and the command-line
program (sonavelt-cli), with the shipped sounds and a sample page.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SONAVELT_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SONAVELT_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(SONAVELT_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${SONAVELT_HOMEPAGE})
endif()
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link come from dpkg-shlibdeps. Added by hand is
# only what Qt loads as plugins at run time, which no linker sees:
# - libqt6svg6: the SVG image and icon plugins that draw the wizard's banner
#   and icon (built into the program as SVG);
# Recommended:
# - gstreamer1.0-plugins-base and -good: Qt Multimedia's GStreamer backend
#   plays the sound previews through them (every accepted format, audio output);
# - sound-theme-freedesktop: the start sound of the About box;
# - xdg-utils: xdg-open, which opens the tested page and the text editor.
# The platform plugin (libqt6gui6) and the media backends themselves
# (libqt6multimedia6) come with the libraries dpkg-shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, sound-theme-freedesktop, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firefox-esr | chromium")
include(CPack)
