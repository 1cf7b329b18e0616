# torvakine_windows_source_list(OUTPUT PROGRAM...)
# Writes OUTPUT, the C++ sources that a Windows build of the given programs
# compiles (their own and those of every library they link), one target after
# the other, for scripts/check-windows-syntax.sh:
#   target NAME
#   define NAME[=VALUE]      one per compile definition, usage requirements included
#   include FOLDER           one per include folder, usage requirements included
#   source FILE              one per source file a Windows build compiles
# and, after the targets,
#   posix-only FILE          one per source file only the POSIX build compiles
# The lists come from the targets themselves, so they cannot go stale.
function(torvakine_windows_source_list output)
  set(_pending ${ARGN})
  set(_seen)
  set(_content)
  set(_posix_only)
  while(_pending)
    list(POP_FRONT _pending _target)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _target "${_target}")
    if(NOT TARGET ${_target} OR _target IN_LIST _seen)
      continue()
    endif()
    list(APPEND _seen ${_target})
    get_target_property(_imported ${_target} IMPORTED)
    if(_imported)
      continue()
    endif()
    foreach(_property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(_links ${_target} ${_property})
      if(_links)
        list(APPEND _pending ${_links})
      endif()
    endforeach()
    get_target_property(_type ${_target} TYPE)
    if(NOT _type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()

    get_target_property(_sources ${_target} TORVAKINE_WINDOWS_SOURCES)
    if(NOT _sources)
      # A target not made with torvakine_sources(): all its sources.
      get_target_property(_sources ${_target} SOURCES)
      get_target_property(_dir ${_target} SOURCE_DIR)
      list(TRANSFORM _sources PREPEND "${_dir}/" REGEX "^[^/$]")
    endif()
    list(FILTER _sources INCLUDE REGEX "\\.cpp$")
    get_target_property(_posix ${_target} TORVAKINE_POSIX_SOURCES)
    if(_posix)
      list(FILTER _posix INCLUDE REGEX "\\.cpp$")
      list(APPEND _posix_only ${_posix})
    endif()

    string(APPEND _content "target ${_target}\n")
    set(_defines "$<TARGET_PROPERTY:${_target},COMPILE_DEFINITIONS>")
    set(_includes "$<REMOVE_DUPLICATES:$<TARGET_PROPERTY:${_target},INCLUDE_DIRECTORIES>>")
    string(APPEND _content "define $<JOIN:${_defines},\ndefine >\n")
    string(APPEND _content "include $<JOIN:${_includes},\ninclude >\n")
    foreach(_source IN LISTS _sources)
      string(APPEND _content "source ${_source}\n")
    endforeach()
  endwhile()
  foreach(_source IN LISTS _posix_only)
    string(APPEND _content "posix-only ${_source}\n")
  endforeach()
  file(GENERATE OUTPUT ${output} CONTENT "${_content}")
endfunction()
