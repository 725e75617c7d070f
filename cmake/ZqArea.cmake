# zq_area(<folder> DEPS <targets...>)
# Builds every .cpp below <folder> into the static library zq_<folder>.
# A folder without sources yet becomes an interface library, so the targets
# that depend on it keep working while the folder fills up.
function(zq_area folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  if(srcs)
    add_library(zq_${folder} STATIC ${srcs})
    target_link_libraries(zq_${folder} PUBLIC ${ARG_DEPS})
  else()
    add_library(zq_${folder} INTERFACE)
    target_link_libraries(zq_${folder} INTERFACE ${ARG_DEPS})
  endif()
endfunction()
