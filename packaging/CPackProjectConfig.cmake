# Read by cpack before it makes each package.

# Packages are reproducible: their files carry the time of the commit built (SOURCE_DATE_EPOCH,
# unless the caller set it), which cpack also gives the archive members it makes itself. A tree
# that is no checkout uses the time of its CHANGELOG.md.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY "${CPACK_BOXWALK_SOURCE_DIR}"
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    file(TIMESTAMP "${CPACK_BOXWALK_SOURCE_DIR}/CHANGELOG.md" epoch "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()

# The installer is named for what it is, beside the zip of the same files.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
