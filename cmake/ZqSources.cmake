# Every source file is named in a list, so that a file that lands in a
# folder does not join a library unseen. The lists say what is built; the
# check below globs only to compare the folders with the lists.

# zq_sources(<out-var> <files...>)
# Records the files (relative to the current CMakeLists.txt's folder, or
# absolute) as listed and stores their absolute paths in <out-var>. A listed
# file that does not exist fails the configure. Record the list where it is
# read, also for a target that is built only when a package is there, so
# that its files count as listed either way.
function(zq_sources out)
  set(files "")
  foreach(file ${ARGN})
    get_filename_component(path ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(NOT EXISTS ${path})
      file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_FILE})
      message(FATAL_ERROR "${shown} lists ${file}, which does not exist")
    endif()
    list(APPEND files ${path})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ZQ_LISTED_SOURCES ${files})
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# zq_check_sources_listed(<folders...>)
# Fails the configure, naming each file, when a .cpp file below one of the
# folders (relative to the top of the sources) is in no list of zq_sources.
# Call it after every list that may name the folders' files has been read.
# The glob is redone at every build, so a file added later fails the build.
function(zq_check_sources_listed)
  get_property(listed GLOBAL PROPERTY ZQ_LISTED_SOURCES)
  set(stray "")
  foreach(folder ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    foreach(file ${found})
      if(NOT file IN_LIST listed)
        file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${file})
        list(APPEND stray ${shown})
      endif()
    endforeach()
  endforeach()
  if(stray)
    list(JOIN stray "\n  " shown)
    message(FATAL_ERROR "Source files that no CMakeLists.txt lists (add each to the list of its folder, "
                        "or remove it):\n  ${shown}")
  endif()
endfunction()
