# The system's subsystems, one static library each, and the order between them.
#
# sfx_subsystem(NAME SOURCES ... HEADERS ... DEPENDS ...) makes the library NAME of
# SOURCES, linked with the subsystems after DEPENDS, and records that it owns HEADERS.
# Subsystems are declared from the bottom up (platform first, launcher last), and at
# configure time every `#include "folder/file.h"` of a subsystem's sources and headers
# is looked up: a header of the subsystem itself or of one named after DEPENDS is
# allowed, anything else (a higher subsystem, the tools, the tests) stops the
# configuration. So the order described in the README is the one the build enforces,
# and the linker sees each library after those that use it.
set_property(GLOBAL PROPERTY SFX_SUBSYSTEMS "")

function(sfx_subsystem name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;HEADERS;DEPENDS")
  list(JOIN arg_DEPENDS ", " below)
  set(owned "")
  foreach(header IN LISTS arg_HEADERS)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    list(APPEND owned ${relative})
  endforeach()
  set_property(GLOBAL PROPERTY SFX_HEADERS_OF_${name} ${owned})

  set(allowed ${owned})
  foreach(dependency IN LISTS arg_DEPENDS)
    get_property(known GLOBAL PROPERTY SFX_HEADERS_OF_${dependency} SET)
    if(NOT known)
      message(FATAL_ERROR "${name} depends on ${dependency}, which is not declared before it")
    endif()
    get_property(headers GLOBAL PROPERTY SFX_HEADERS_OF_${dependency})
    list(APPEND allowed ${headers})
  endforeach()
  foreach(file IN LISTS arg_SOURCES arg_HEADERS)
    file(STRINGS ${file} includes REGEX "^#include \"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      if(NOT included IN_LIST allowed)
        message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${file} includes ${included}, "
                            "which is neither ${name}'s nor a header of: ${below}")
      endif()
    endforeach()
  endforeach()

  add_library(${name} STATIC ${arg_SOURCES})
  target_link_libraries(${name} PUBLIC ${arg_DEPENDS} PRIVATE sfx_system_flags)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY SFX_SUBSYSTEMS ${name})
endfunction()
