# Which commit this build is, and the time every stamp of the release takes
# from it, so two builds of one commit agree whatever the folder or the clock.
#
#   CORVEX_SOURCE_COMMIT      full hash of HEAD; "unknown" outside a git checkout
#                             (or pass -DCORVEX_SOURCE_COMMIT=<hash> for an exported tree)
#   CORVEX_PRODUCT_VERSION    1.0.0+g<first 7 hex digits>, or 1.0.0+unknown
#   CORVEX_SOURCE_DATE_EPOCH  $ENV{SOURCE_DATE_EPOCH} when set, else the commit's
#                             committer time, else 0
#
# Read at configure time; a new commit re-runs the configure step, because the
# files git moves on a commit are configure dependencies.

set(CORVEX_SOURCE_COMMIT "" CACHE STRING "Commit the sources are (empty: ask git)")

find_package(Git QUIET)
set(revision_commit "")
set(revision_time "")
if(GIT_EXECUTABLE AND CORVEX_SOURCE_COMMIT STREQUAL "")
  # Only a checkout of this repository counts, not some repository around an exported tree.
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE top RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${PROJECT_SOURCE_DIR}" here)
  endif()
  if(NOT failed AND top STREQUAL here)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%H%n%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE head
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ";" head "${head}")
    list(GET head 0 revision_commit)
    list(GET head 1 revision_time)
    # HEAD, the branch it names and packed-refs: what a commit or a checkout rewrites.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute
                            --git-path HEAD --git-path packed-refs --symbolic-full-name HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE paths
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ";" paths "${paths}")
    list(POP_BACK paths branch)
    if(branch MATCHES "^refs/")
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path ${branch}
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE ref_file
                      OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
      list(APPEND paths ${ref_file})
    endif()
    foreach(path IN LISTS paths)
      if(EXISTS ${path})
        set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
      endif()
    endforeach()
  endif()
elseif(NOT CORVEX_SOURCE_COMMIT STREQUAL "")
  if(NOT CORVEX_SOURCE_COMMIT MATCHES "^[0-9a-f]+$")
    message(FATAL_ERROR "CORVEX_SOURCE_COMMIT is a hexadecimal commit hash, not '${CORVEX_SOURCE_COMMIT}'")
  endif()
  set(revision_commit ${CORVEX_SOURCE_COMMIT})
endif()

if(revision_commit STREQUAL "")
  set(CORVEX_SOURCE_COMMIT_TEXT unknown)
  set(CORVEX_PRODUCT_VERSION ${PROJECT_VERSION}+unknown)
else()
  set(CORVEX_SOURCE_COMMIT_TEXT ${revision_commit})
  string(SUBSTRING ${revision_commit} 0 7 short)
  set(CORVEX_PRODUCT_VERSION ${PROJECT_VERSION}+g${short})
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CORVEX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
elseif(NOT revision_time STREQUAL "")
  set(CORVEX_SOURCE_DATE_EPOCH ${revision_time})
else()
  set(CORVEX_SOURCE_DATE_EPOCH 0)
endif()
if(NOT CORVEX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is seconds since 1970, not '${CORVEX_SOURCE_DATE_EPOCH}'")
endif()
message(STATUS "Corvex: version ${CORVEX_PRODUCT_VERSION}, commit ${CORVEX_SOURCE_COMMIT_TEXT}, "
               "SOURCE_DATE_EPOCH ${CORVEX_SOURCE_DATE_EPOCH}")
