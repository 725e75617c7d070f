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

# Installed, the program folder is <prefix>/lib/zqupdatemanager: the program
# beside its two links, made as the build makes them, and a link to the
# program in <prefix>/bin. The program takes its folder from its real path,
# so it finds 7za and libexpat.dll when started through that link too.
set(ZQ_INSTALL_PROGRAM_FOLDER lib/zqupdatemanager CACHE STRING
  "The installed program folder, relative to the install prefix")
install(CODE "
  set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ZQ_INSTALL_PROGRAM_FOLDER}\")
  file(MAKE_DIRECTORY \"\${folder}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  message(STATUS \"Linking: \${folder}/libexpat.dll -> ${ZQ_LIBEXPAT_SO}\")
  file(CREATE_LINK \"${ZQ_LIBEXPAT_SO}\" \"\${folder}/libexpat.dll\" SYMBOLIC)
  message(STATUS \"Linking: \${folder}/7za -> ${ZQ_7ZA}\")
  file(CREATE_LINK \"${ZQ_7ZA}\" \"\${folder}/7za\" SYMBOLIC)
  file(RELATIVE_PATH program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\" \"\${folder}/ZQUpdateManager\")
  message(STATUS \"Linking: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/ZQUpdateManager -> \${program}\")
  file(CREATE_LINK \"\${program}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/ZQUpdateManager\" SYMBOLIC)
")
