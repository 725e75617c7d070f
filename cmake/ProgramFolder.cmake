# The program folder holds two links that the system looks for beside its
# executable: libexpat.dll (the host's expat) and 7za (the host's unpacker).
find_file(ZQ_LIBEXPAT_SO libexpat.so.1
  PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE} /lib/${CMAKE_LIBRARY_ARCHITECTURE} /usr/lib /lib
  NO_DEFAULT_PATH)
if(NOT ZQ_LIBEXPAT_SO)
  message(FATAL_ERROR "libexpat.so.1 not found: install the Debian package libexpat1")
endif()
set(ZQ_7ZA /usr/bin/7za CACHE FILEPATH "The host's 7za (Debian package p7zip-full)")

file(MAKE_DIRECTORY ${ZQ_PROGRAM_FOLDER})
add_custom_target(program_folder_links ALL
  COMMAND ${CMAKE_COMMAND} -E create_symlink ${ZQ_LIBEXPAT_SO} ${ZQ_PROGRAM_FOLDER}/libexpat.dll
  COMMAND ${CMAKE_COMMAND} -E create_symlink ${ZQ_7ZA} ${ZQ_PROGRAM_FOLDER}/7za
  COMMENT "Linking libexpat.dll and 7za into the program folder")
