# How the program is compiled and linked beyond warnings: hardened as Debian builds its packages,
# and reproducible, so that one commit always gives the same bytes wherever and whenever it is
# built.
option(BOXWALK_HARDENING "Compile and link with the hardening flags of Debian's packages" ON)

if(NOT MSVC)
  # No absolute source or build path ends up in the binaries (debug information, file names in
  # messages): they are relative to the top of the checkout, where a debugger finds the sources.
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
endif()

if(WIN32 AND MINGW)
  # Address space layout randomisation with 64-bit entropy and data execution prevention, marked
  # in the image; no link time stamp in it.
  add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat
                   -Wl,--no-insert-timestamp)
elseif(NOT WIN32 AND BOXWALK_HARDENING)
  # Debian's flags with hardening=+all (dpkg-buildflags), and the stack clash and control-flow
  # protection of newer releases. Fortification needs the optimiser, so a Debug build goes
  # without it.
  add_compile_options(-fstack-protector-strong -fstack-clash-protection -fcf-protection -Wformat
                      -Werror=format-security)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

# A build tree's programs find their libraries relative to themselves, so that the run path, and
# with it the build id, is the same in every build folder. Installing rewrites it.
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
