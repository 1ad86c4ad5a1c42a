# Installation and the Debian package (cmake --build <dir> --target package; see
# tools/make-package.sh). Layout under /usr:
#   games/quorl             launcher: runs the program in the data folder
#   games/quorl-capture     the capture tool; finds the installed data by itself
# (the package's section is games, whose programs Debian's policy puts in /usr/games)
#   lib/quorl/quorl         the program
#   share/quorl/            shaders/ images/ 3d/ music/, as in data/
#   share/applications/quorl.desktop, share/man/man6/quorl.6.gz, man1/quorl-capture.1.gz
include(GNUInstallDirs)
set(QUORL_PACKAGE_PREFIX /usr)
set(QUORL_PACKAGE_DATA_DIR ${QUORL_PACKAGE_PREFIX}/share/quorl)

install(TARGETS quorl RUNTIME DESTINATION lib/quorl)
# The launcher answers --version itself, so it carries the version.
configure_file(packaging/quorl.sh ${CMAKE_BINARY_DIR}/packaging/quorl @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/quorl DESTINATION games)
install(DIRECTORY data/ DESTINATION share/quorl)
install(FILES packaging/quorl.desktop DESTINATION share/applications)
install(FILES LICENSE DESTINATION share/doc/quorl RENAME copyright)
if(TARGET quorl-capture)
  install(TARGETS quorl-capture RUNTIME DESTINATION games)
endif()

# Debian wants man pages compressed, reproducibly (no name or time stamp in the gzip header).
set(man_pages quorl.6 quorl-capture.1)
set(man_outputs)
foreach(page ${man_pages})
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
  set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/${page} > ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${page} VERBATIM)
  list(APPEND man_outputs ${out})
  install(FILES ${out} DESTINATION share/man/man${section})
endforeach()
# The changelog, compressed the same way: a package without one is an error to lintian.
set(changelog_out ${CMAKE_BINARY_DIR}/man/changelog.gz)
add_custom_command(OUTPUT ${changelog_out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog > ${changelog_out}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
list(APPEND man_outputs ${changelog_out})
install(FILES ${changelog_out} DESTINATION share/doc/quorl)
add_custom_target(quorl_man_pages ALL DEPENDS ${man_outputs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${QUORL_PACKAGE_PREFIX})
set(CPACK_PACKAGE_CONTACT "quorl maintainers <maintainers@users.noreply.c-seed-dfc05cc1.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "silent film demo: 131 seconds of real-time OpenGL and piano roll")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "A self-running audiovisual demo styled as a 1916 silent film with intertitles,\n\
seen through a film projector, with a piano-roll blues. It takes the whole\n\
screen, plays for 131 seconds and quits by itself; Escape quits early.\n\
quorl-capture renders the show offscreen to PNG frames, a contact sheet or a\n\
video.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quorl_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies as Debian package names, from the binaries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What SDL loads at run time and so no binary names: GLX for the show's window, EGL for
# the capture's offscreen context, and Mesa's drivers (llvmpipe draws without a GPU).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1, libgl1-mesa-dri")
# quorl-capture --video runs ffmpeg; on Wayland SDL shows its message boxes through zenity
# (without it a start-up failure shows no box).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg, zenity")
set(CPACK_STRIP_FILES ON)
if(TARGET quorl-capture AND DEFINED QUORL_DATA_DIR)
  configure_file(packaging/check-data-dir.cmake ${CMAKE_BINARY_DIR}/check-data-dir.cmake @ONLY)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_BINARY_DIR}/check-data-dir.cmake)
endif()
include(CPack)
