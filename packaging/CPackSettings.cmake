# CPack settings for every package. The generator is chosen by the package presets in
# CMakePresets.json: DEB for the Linux build, ZIP or NSIS (the installer) for the Windows build.
set(CPACK_PACKAGE_NAME boxwalk)
set(CPACK_PACKAGE_VENDOR "The Boxwalk authors")
set(CPACK_PACKAGE_CONTACT "${BOXWALK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "walking figure of boxes in 3-D, a small OpenGL demo")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

# Read by cpack for each package it makes: the time its files get and the installer's name.
set(CPACK_BOXWALK_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProjectConfig.cmake)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_FILE_NAME boxwalk-${PROJECT_VERSION}-win64)

  # The installer (NSIS, from the template beside this file): the program into Program Files, a
  # Start-menu shortcut, and an entry under Installed apps with its uninstaller.
  set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
  set(CPACK_NSIS_PACKAGE_NAME Boxwalk)
  set(CPACK_NSIS_DISPLAY_NAME Boxwalk)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Boxwalk)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Boxwalk)
  set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_LIST_DIR}/boxwalk.ico)
  set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_LIST_DIR}/boxwalk.ico)
  set(CPACK_BOXWALK_COPYRIGHT "${BOXWALK_COPYRIGHT}")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # A demonstration for X displays; Debian keeps the games section for programs in /usr/games.
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BOXWALK_MAINTAINER}")
  # The extended description under the summary; CPack indents it for the control file.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Boxwalk shows a figure made of six flat-coloured boxes - a white head, a blue
torso, red arms and yellow legs - that turns on the spot while its arms and
legs swing, so that it walks. At start it asks whether to run fullscreen.
The keys + and - move the camera closer and farther, E, D, S and F move the
eye down, up, right and left; Escape or closing the window ends it.
.
It draws with fixed-function OpenGL 1.1 and GLU only, and runs on any X
display or Wayland compositor with an OpenGL implementation, including Mesa's
software renderer.")
  # Libraries found from the binaries, plus the face of the help line, which is found by name.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/platform)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-comic-neue)
  # On a Wayland compositor without Xwayland, the prompt at start is a zenity dialog.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS zenity)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # What a Debian package has on top of an installation: the copyright file, the package's
  # changelog, the manual page compressed.
  set(BOXWALK_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
  set(BOXWALK_DEBIAN_DATE "Tue, 08 Dec 2026 12:00:00 +0000")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian-extras.cmake.in
                 ${CMAKE_CURRENT_BINARY_DIR}/debian-extras.cmake @ONLY)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_BINARY_DIR}/debian-extras.cmake)
endif()

include(CPack)
