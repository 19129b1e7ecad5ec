# Run by cpack on the staged installation before it packs it: every file and folder gets the time
# of SOURCE_DATE_EPOCH (see CPackProjectConfig.cmake), so that the archive's times depend on the
# commit alone, not on when it was built.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} OR NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
  message(FATAL_ERROR "stable-times: no SOURCE_DATE_EPOCH or no staged installation")
endif()
if(CMAKE_HOST_UNIX)
  execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec
                          touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "stable-times: setting the times failed: ${status}")
  endif()
endif()
