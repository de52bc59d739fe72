# Lays out a folder that runs on Windows as it is: the programs, the Qt plugins the window loads in their folders,
# and every DLL that these import, directly or through each other, that is not part of Windows. The DLLs are found
# from the imports with the MinGW objdump, so nothing is listed by hand; a DLL found nowhere fails the build, and
# whatever else lies in the folder is removed.
#   cmake -DOUT=dir -DPROGRAMS=a.exe;b.exe -DPLUGINS=platforms/x.dll;styles/y.dll -DPLUGIN_DIR=<Qt>/plugins
#         -DDIRS=dirs with DLLs -DSYSTEM_DIR=Wine's own DLLs -DOBJDUMP=x86_64-w64-mingw32-objdump -P windows_deploy.cmake
cmake_minimum_required(VERSION 3.25)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${OBJDUMP})

# Windows finds a DLL whatever the case of its name, and CMake looks for the imports by their names in lower case:
# every DLL of the folders searched is offered under that name in a folder of links.
set(links ${OUT}.links)
file(REMOVE_RECURSE ${links})
file(MAKE_DIRECTORY ${links})
foreach(dir IN LISTS DIRS)
  file(GLOB dlls ${dir}/*.dll)
  foreach(dll IN LISTS dlls)
    cmake_path(GET dll FILENAME name)
    string(TOLOWER ${name} key)
    if(NOT DEFINED source_${key})
      file(CREATE_LINK ${dll} ${links}/${key} SYMBOLIC)
      set(source_${key} ${dll})
    endif()
  endforeach()
endforeach()

set(plugins ${PLUGINS})
list(TRANSFORM plugins PREPEND ${PLUGIN_DIR}/)
# Windows' own DLLs are found in Wine's copy of the system folder and left out; the API sets are not files at all.
file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${PROGRAMS} MODULES ${plugins}
  DIRECTORIES ${links} ${SYSTEM_DIR}
  PRE_EXCLUDE_REGEXES "^api-ms-win-" "^ext-ms-"
  POST_EXCLUDE_REGEXES "^${SYSTEM_DIR}/"
  RESOLVED_DEPENDENCIES_VAR dlls
  UNRESOLVED_DEPENDENCIES_VAR missing)
file(REMOVE_RECURSE ${links})
if(missing)
  message(FATAL_ERROR "${OUT}: no DLL file found for ${missing}")
endif()

# Each file by its place in the folder, the DLLs under their own names.
set(wanted)
foreach(file IN LISTS PROGRAMS dlls)
  cmake_path(GET file FILENAME name)
  if(DEFINED source_${name})
    set(file ${source_${name}})
    cmake_path(GET file FILENAME name)
  endif()
  list(APPEND wanted ${name})
  set(source_${name} ${file})
endforeach()
list(APPEND wanted ${PLUGINS})
foreach(plugin IN LISTS PLUGINS)
  set(source_${plugin} ${PLUGIN_DIR}/${plugin})
endforeach()

file(GLOB_RECURSE present RELATIVE ${OUT} ${OUT}/*)
foreach(name IN LISTS present)
  if(NOT name IN_LIST wanted)
    file(REMOVE ${OUT}/${name})
  endif()
endforeach()
foreach(name IN LISTS wanted)
  cmake_path(GET name PARENT_PATH folder)
  file(MAKE_DIRECTORY ${OUT}/${folder})
  file(COPY_FILE ${source_${name}} ${OUT}/${name} ONLY_IF_DIFFERENT)
endforeach()
list(SORT wanted)
string(REPLACE ";" " " listed "${wanted}")
message(STATUS "${OUT}: ${listed}")
