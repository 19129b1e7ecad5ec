# Read by cpack before it makes each package.

# Packages are reproducible: cpack gives every member of the archives it makes the time
# SOURCE_DATE_EPOCH, which is that of the commit built unless the caller set it. A tree that is
# no checkout uses the time of its CHANGELOG.md.
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

# A zip keeps its times as local time: the packages are made in universal time, so that the time
# zone of the machine does not change them.
set(ENV{TZ} UTC0)

# The installer is named for what it is, beside the zip of the same files.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
