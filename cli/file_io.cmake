# The platform layer of the command-line tool: arguments, standard streams and files, byte-exact on every system.
# Included by cli/CMakeLists.txt.
add_library(cli_io STATIC ${CMAKE_CURRENT_LIST_DIR}/file_io.cpp)
target_include_directories(cli_io PUBLIC ${CMAKE_CURRENT_LIST_DIR})
if(WIN32)
  # CommandLineToArgvW, for the wide command line.
  target_link_libraries(cli_io PRIVATE shell32)
endif()
