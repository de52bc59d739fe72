# The platform layer of the command-line tool: arguments, standard streams and files, byte-exact on every system.
# The portable part and the system's own part behind one header. Included by cli/CMakeLists.txt.
if(WIN32)
  set(fileIoSystem file_io_win32.cpp)
else()
  set(fileIoSystem file_io_posix.cpp)
endif()
add_library(cli_io STATIC ${CMAKE_CURRENT_LIST_DIR}/file_io.cpp ${CMAKE_CURRENT_LIST_DIR}/${fileIoSystem})
target_include_directories(cli_io PUBLIC ${CMAKE_CURRENT_LIST_DIR})
if(WIN32)
  # CommandLineToArgvW, for the wide command line.
  target_link_libraries(cli_io PRIVATE shell32)
endif()
