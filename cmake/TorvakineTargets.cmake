# Helpers that every target of the project is made with, so that each one
# gets the warnings and records its sources for the Windows syntax check.

# The warnings of every target we compile.  TORVAKINE_WERROR makes them
# errors (the test build turns it on).
add_library(torvakine_warnings INTERFACE)
target_compile_options(torvakine_warnings INTERFACE -Wall -Wextra
                       $<$<BOOL:${TORVAKINE_WERROR}>:-Werror>)

# torvakine_sources(TARGET SOURCES... [POSIX SOURCES...] [WINDOWS SOURCES...])
# Adds the common sources and those of the system built for to TARGET, and
# records on it the sources a Windows build compiles (property
# TORVAKINE_WINDOWS_SOURCES) and those only the POSIX build compiles
# (TORVAKINE_POSIX_SOURCES), both as absolute paths.
function(torvakine_sources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "POSIX;WINDOWS")
  set(_lists common windows posix)
  set(_common ${arg_UNPARSED_ARGUMENTS})
  set(_windows ${arg_WINDOWS})
  set(_posix ${arg_POSIX})
  foreach(_list IN LISTS _lists)
    set(_absolute)
    foreach(_source IN LISTS _${_list})
      cmake_path(ABSOLUTE_PATH _source BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND _absolute ${_source})
    endforeach()
    set(_${_list} ${_absolute})
  endforeach()
  if(WIN32)
    target_sources(${target} PRIVATE ${_common} ${_windows})
  else()
    target_sources(${target} PRIVATE ${_common} ${_posix})
  endif()
  set_property(TARGET ${target} APPEND PROPERTY TORVAKINE_WINDOWS_SOURCES ${_common} ${_windows})
  set_property(TARGET ${target} APPEND PROPERTY TORVAKINE_POSIX_SOURCES ${_posix})
endfunction()

# torvakine_library(NAME SOURCES... [POSIX ...] [WINDOWS ...]): a static
# library; the repository root is its include folder, for includes such as
# "scanner/FileWalk.h".
function(torvakine_library name)
  add_library(${name} STATIC)
  torvakine_sources(${name} ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE torvakine_warnings)
endfunction()

# torvakine_executable(NAME SOURCES... [POSIX ...] [WINDOWS ...]): a program.
function(torvakine_executable name)
  add_executable(${name})
  torvakine_sources(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE torvakine_warnings)
endfunction()

# Fails the configuration when a compiled target in the folder DIR or below
# does not link torvakine_warnings: the warnings hold for every target.
function(torvakine_require_warnings dir)
  get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_target IN LISTS _targets)
    get_target_property(_type ${_target} TYPE)
    if(NOT _type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(_links ${_target} LINK_LIBRARIES)
    if(NOT "torvakine_warnings" IN_LIST _links)
      message(FATAL_ERROR "${_target} does not link torvakine_warnings; make it with "
                          "torvakine_library() or torvakine_executable(), or link it")
    endif()
  endforeach()
  get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(_subdir IN LISTS _subdirs)
    torvakine_require_warnings(${_subdir})
  endforeach()
endfunction()
