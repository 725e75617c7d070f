cmake_minimum_required(VERSION 3.25)
# Fails when a file includes across the layering:
#   cmake -DSOURCE_DIR=<top of the sources> -DRULES=<rules> -DTEST_RULES=<rules>
#         -DPLATFORM_RULES=<rules> -P CheckLayering.cmake
# RULES lists each area with itself and the areas it builds on, directly or
# through another: "platform:platform|texts:texts,resources,platform|...";
# TEST_RULES the same for the test executable of each area; PLATFORM_RULES
# the same for the areas inside the layer ("base:base|strings:strings,base|...").
#
# - platform/ (the layer) includes only itself and the host's headers;
#   nothing of the system above it. Inside it, an area (platform/<area>/)
#   includes only the areas of the layer it builds on, and every folder of
#   the layer is such an area.
# - An area of the system includes only itself, the areas it builds on and
#   the C++ standard library; no header of the host (POSIX, Linux, GTK, glib,
#   cairo, pango, fontconfig, FreeType...): those are all the layer's.
# - The tests of an area (tests/<area>/) include the areas their executable
#   links, the tests' own helpers, and the host's headers they need to drive
#   real devices.
#   tests/support/ uses no area at all; tests/support/<area>/ holds what the
#   tests and the benchmarks of that area share, and includes what the
#   area's tests may. Tests and their support build and read frames with the
#   car-kit simulator's own wire format (tools/carkit-sim/Wire.h, which uses
#   nothing but the C++ library), never with the frame layer they test.
if(NOT SOURCE_DIR OR NOT RULES OR NOT TEST_RULES OR NOT PLATFORM_RULES)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=... -DRULES=... -DTEST_RULES=... -DPLATFORM_RULES=... -P CheckLayering.cmake")
endif()

set(violations 0)
set(checked 0)

# check_folder(<folder> <allowed areas> <host headers allowed> [INSIDE <inside>]
#              [SKIP <subfolders...>] [ALSO <headers...>])
# With INSIDE (a folder such as "platform"), an include must land below it
# and the area is the folder next below. SKIP leaves out the files of those
# subfolders, which are checked on their own. ALSO names headers outside the
# allowed areas that may be included all the same.
function(check_folder folder allowed host_ok)
  cmake_parse_arguments(ARG "" "INSIDE" "SKIP;ALSO" ${ARGN})
  set(inside "${ARG_INSIDE}")
  file(GLOB_RECURSE files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(sub ${ARG_SKIP})
    list(FILTER files EXCLUDE REGEX "^${SOURCE_DIR}/${folder}/${sub}/")
  endforeach()
  foreach(file ${files})
    math(EXPR checked "${checked} + 1")
    get_filename_component(dir ${file} DIRECTORY)
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
        continue()
      endif()
      set(kind ${CMAKE_MATCH_1})
      set(header ${CMAKE_MATCH_2})
      set(fault "")
      if(kind STREQUAL "<")
        # The C++ standard library's headers have neither a folder nor an
        # extension (<vector>, <cstring>); every other one is the host's.
        if(NOT host_ok AND (header MATCHES "/" OR header MATCHES "\\."))
          set(fault "a header of the host; only platform/ may include it")
        endif()
      else()
        # A name found from the file's own folder counts as the folder it
        # lands in; any other is a path from the top of the sources.
        set(target "")
        if(EXISTS ${dir}/${header})
          get_filename_component(found ${dir}/${header} REALPATH)
          file(RELATIVE_PATH target ${SOURCE_DIR} ${found})
        elseif(header MATCHES "/")
          set(target ${header})
        endif()
        list(FIND ARG_ALSO "${target}" also)
        if(also GREATER -1)
          continue()
        endif()
        if(inside)
          set(area_pattern "^${inside}/([^/.][^/]*)/")
        else()
          set(area_pattern "^([^/.][^/]*)/")
        endif()
        if(NOT target MATCHES "${area_pattern}")
          set(fault "neither beside the file nor in an area")
        else()
          list(FIND allowed ${CMAKE_MATCH_1} at)
          if(at EQUAL -1)
            string(REPLACE ";" ", " shown "${allowed}")
            set(fault "${CMAKE_MATCH_1}/ is not among what this folder builds on (${shown})")
          endif()
        endif()
      endif()
      if(fault)
        if(kind STREQUAL "<")
          set(shown "<${header}>")
        else()
          set(shown "\"${header}\"")
        endif()
        message("${rel}: #include ${shown}: ${fault}")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
  set(violations ${violations} PARENT_SCOPE)
  set(checked ${checked} PARENT_SCOPE)
endfunction()

# parse_rules(<rules> <prefix>): sets <prefix>_<area> to its allowed areas
# and <prefix>_areas to the areas named.
macro(parse_rules text prefix)
  string(REPLACE "|" ";" _rules "${text}")
  set(${prefix}_areas "")
  foreach(_rule ${_rules})
    if(NOT _rule MATCHES "^([a-z]+):([a-z,]*)$")
      message(FATAL_ERROR "bad rule '${_rule}'")
    endif()
    list(APPEND ${prefix}_areas ${CMAKE_MATCH_1})
    string(REPLACE "," ";" ${prefix}_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endforeach()
endmacro()
parse_rules("${RULES}" area)
parse_rules("${TEST_RULES}" tests)
parse_rules("${PLATFORM_RULES}" layer)

foreach(area ${area_areas})
  if(area STREQUAL "platform")
    # The layer is checked area by area, so every file of it must be in one.
    file(GLOB entries LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR}/platform ${SOURCE_DIR}/platform/*)
    foreach(entry ${entries})
      if(NOT IS_DIRECTORY ${SOURCE_DIR}/platform/${entry})
        if(entry MATCHES "\\.(h|cpp)$")
          message("platform/${entry}: a file of the layer outside its areas")
          math(EXPR violations "${violations} + 1")
        endif()
        continue()
      endif()
      list(FIND layer_areas ${entry} at)
      if(at EQUAL -1)
        message("platform/${entry}/: a folder of the layer without a rule in platform/CMakeLists.txt")
        math(EXPR violations "${violations} + 1")
      else()
        check_folder(platform/${entry} "${layer_${entry}}" TRUE INSIDE platform)
      endif()
    endforeach()
  else()
    check_folder(${area} "${area_${area}}" FALSE)
  endif()
endforeach()
set(wire tools/carkit-sim/Wire.h)
foreach(area ${tests_areas})
  check_folder(tests/${area} "${tests_${area}};tests" TRUE ALSO ${wire})
  if(IS_DIRECTORY ${SOURCE_DIR}/tests/support/${area})
    check_folder(tests/support/${area} "${tests_${area}};tests" TRUE ALSO ${wire})
  endif()
endforeach()
check_folder(tests/support "tests" TRUE SKIP ${tests_areas} ALSO ${wire})

if(checked EQUAL 0)
  message(FATAL_ERROR "no files found below ${SOURCE_DIR}")
endif()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) across the layering")
endif()
message("layering: ${checked} files, every include within the layering")
