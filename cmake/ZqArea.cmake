# Every header is included by its path from the top of the source tree
# ("link/UPDATEProtocol.h"). So that an area sees only the headers of the
# areas it builds on, each area gets an include folder of its own in the
# build tree that holds nothing but a link to its source folder; a target
# reaches a header only through the include folders of what it links.

# zq_include_root(<folder> <out-var>)
# Makes the include folder that shows <folder> (a folder at the top of the
# source tree) and stores its path in <out-var>.
function(zq_include_root folder out)
  set(root ${CMAKE_BINARY_DIR}/include/${folder})
  if(NOT IS_SYMLINK ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# zq_area(<folder> SOURCES <files...> [DEPS <targets...>] [HEADERS <folders...>])
# Builds the listed .cpp files (relative to the calling CMakeLists.txt, see
# zq_sources in ZqSources.cmake) into the static library zq_<folder>,
# linked to the libraries of the areas it builds on (DEPS). HEADERS names
# areas of which it uses headers only (ids), not code. The areas and what
# each builds on, directly or through another, are recorded for the layering
# check (global properties ZQ_AREAS and ZQ_BUILDS_ON_<folder>).
function(zq_area folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;HEADERS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "zq_area(${folder}): no SOURCES listed")
  endif()
  zq_sources(srcs ${ARG_SOURCES})
  add_library(zq_${folder} STATIC ${srcs})
  zq_include_root(${folder} root)
  target_include_directories(zq_${folder} PUBLIC ${root})
  target_link_libraries(zq_${folder} PUBLIC ${ARG_DEPS})

  set(below "")
  foreach(area ${ARG_HEADERS})
    target_include_directories(zq_${folder} PUBLIC ${CMAKE_BINARY_DIR}/include/${area})
    get_property(deeper GLOBAL PROPERTY ZQ_BUILDS_ON_${area})
    list(APPEND below ${area} ${deeper})
  endforeach()
  foreach(dep ${ARG_DEPS})
    if(dep MATCHES "zq_([a-z]+)")
      set(area ${CMAKE_MATCH_1})
      get_property(deeper GLOBAL PROPERTY ZQ_BUILDS_ON_${area})
      list(APPEND below ${area} ${deeper})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES below)
  set_property(GLOBAL PROPERTY ZQ_BUILDS_ON_${folder} "${below}")
  set_property(GLOBAL APPEND PROPERTY ZQ_AREAS ${folder})
endfunction()
