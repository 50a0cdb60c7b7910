# The program's version: the project's major and minor with a build number, the count of commits
# that lead to the one being built. Explorer's Properties show it (VERSIONINFO), and the manifest's
# assembly carries the same number. A shallow clone counts only what it fetched, so it is refused;
# a tree without git history needs the number given (-DPICLADE_BUILD_NUMBER=N).
set(PICLADE_BUILD_NUMBER "" CACHE STRING "build number of the version; empty: git rev-list --count HEAD")

if(PICLADE_BUILD_NUMBER STREQUAL "")
  execute_process(COMMAND git -C "${CMAKE_SOURCE_DIR}" rev-parse --is-shallow-repository
                  OUTPUT_VARIABLE shallow OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE no_history)
  if(no_history)
    message(FATAL_ERROR "no git history to count the build number from: give -DPICLADE_BUILD_NUMBER=N")
  endif()
  if(shallow STREQUAL "true")
    message(FATAL_ERROR "a shallow clone cannot count its commits: fetch the whole history (git fetch --unshallow)")
  endif()
  execute_process(COMMAND git -C "${CMAKE_SOURCE_DIR}" rev-list --count HEAD
                  OUTPUT_VARIABLE piclade_build OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  # A new commit changes the number: configure again when HEAD moves.
  execute_process(COMMAND git -C "${CMAKE_SOURCE_DIR}" rev-parse --absolute-git-dir
                  OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(EXISTS "${git_dir}/logs/HEAD")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_dir}/logs/HEAD")
  endif()
else()
  set(piclade_build "${PICLADE_BUILD_NUMBER}")
endif()

# Each part of a Windows version is a 16-bit number.
if(NOT piclade_build MATCHES "^[0-9]+$" OR piclade_build GREATER 65535)
  message(FATAL_ERROR "the build number must be a number from 0 to 65535, not '${piclade_build}'")
endif()
set(PICLADE_VERSION_BUILD ${piclade_build})
set(PICLADE_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PICLADE_VERSION_BUILD}")

# The manifest and the version header, with the version filled in, for the resource compiler.
set(PICLADE_GENERATED_RES ${CMAKE_BINARY_DIR}/generated/res)
configure_file(${CMAKE_SOURCE_DIR}/res/piclade.manifest.in ${PICLADE_GENERATED_RES}/piclade.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/piclade_version.h.in ${PICLADE_GENERATED_RES}/piclade_version.h @ONLY)
