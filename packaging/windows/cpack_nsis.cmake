# The Windows packages, made with CPack from the `windows` build: a setup program (NSIS) and a portable zip, both
# holding the same tree, that of the runnable folder the build lays out:
#
#   VantorelAdmins.exe, the DLLs it imports, platforms\ and styles\   the window; Qt finds its plugins beside it
#   bin\vantorel-admins.exe                                             alone, so that putting bin\ on the PATH
#                                                                       brings no DLL of ours into other programs
#   VantorelAdmins.txt, vantorel-admins.txt                             the manuals as text
#   LICENSE.txt, licenses\                                              the program's terms, and those of what it ships
#
# Included from packaging/CMakeLists.txt before include(CPack), on Windows only.
#   cpack -G NSIS   -> vantorel-admins-<version>-win64.exe
#   cpack -G ZIP    -> vantorel-admins-<version>-win64.zip

# The window's name as the Linux desktop entry gives it: the Start-menu shortcut, the uninstall entry and the setup
# program's title use it.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/org.vantorel.AdminsHelper.desktop windowName REGEX "^Name=")
string(REPLACE "Name=" "" windowName "${windowName}")

# Qt's source as it was built, and the licence texts taken from it (packaging/windows/qt-source.sh fetches both
# into a cache outside the clone; the release script passes the folder, or it is asked of the script here).
set(VANTOREL_QT_SOURCE "" CACHE PATH "Folder of Debian's qt6-base source package files, from packaging/windows/qt-source.sh")
if(NOT VANTOREL_QT_SOURCE)
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/qt-source.sh --print-folder
    OUTPUT_VARIABLE qtSource OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(VANTOREL_QT_SOURCE ${qtSource} CACHE PATH "" FORCE)
endif()
find_program(VANTOREL_GROFF groff)

# Only what is listed here goes into the packages: the `windows_package` component, not the install rules that
# put the programs into bin\ for a plain `cmake --install`.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};windows_package;/")

# The runnable folder as the build lays it out (both programs, the plugins and every DLL found from their imports),
# with the command-line program moved into bin\.
install(DIRECTORY ${CMAKE_BINARY_DIR}/deploy/ DESTINATION . COMPONENT windows_package
  PATTERN vantorel-admins.exe EXCLUDE)
install(PROGRAMS $<TARGET_FILE:vantorel-admins> DESTINATION bin COMPONENT windows_package)

# The manuals as text, the licence texts, all with CR LF line ends, and the programs and DLLs stripped of symbols.
# licenses/README.txt names the Debian version of Qt's source; every text from Qt's source is listed there.
string(REGEX REPLACE ".*/qt6-base-source-" "" QT_DEBIAN_VERSION "${VANTOREL_QT_SOURCE}")
string(REPLACE "+" "%2B" QT_DEBIAN_VERSION_URL "${QT_DEBIAN_VERSION}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/licenses-readme.txt ${CMAKE_CURRENT_BINARY_DIR}/licenses-readme.txt @ONLY)
set(qt ${VANTOREL_QT_SOURCE}/licenses)
set(licenses
  "LICENSE.txt=${PROJECT_SOURCE_DIR}/packaging/copyright"
  "licenses/README.txt=${CMAKE_CURRENT_BINARY_DIR}/licenses-readme.txt"
  "licenses/Qt-LGPL-3.0.txt=${qt}/LICENSES/LGPL-3.0-only.txt"
  "licenses/Qt-GPL-3.0.txt=${qt}/LICENSES/GPL-3.0-only.txt"
  "licenses/Qt-Debian-copyright.txt=/usr/share/doc/libqt6core6/copyright"
  "licenses/FreeType-LICENSE.txt=${qt}/src/3rdparty/freetype/LICENSE.txt"
  "licenses/FreeType-FTL.txt=${qt}/src/3rdparty/freetype/docs/FTL.TXT"
  "licenses/FreeType-zlib.txt=${qt}/src/3rdparty/freetype/ZLIB-LICENSE.txt"
  "licenses/FreeType-BDF.txt=${qt}/src/3rdparty/freetype/BDF-LICENSE.txt"
  "licenses/FreeType-PCF.txt=${qt}/src/3rdparty/freetype/PCF-LICENSE.txt"
  "licenses/HarfBuzz-COPYING.txt=${qt}/src/3rdparty/harfbuzz-ng/COPYING"
  "licenses/libpng-LICENSE.txt=${qt}/src/3rdparty/libpng/LICENSE"
  "licenses/MD4C-LICENSE.txt=${qt}/src/3rdparty/md4c/LICENSE.md"
  "licenses/SmoothScaling-LICENSE.txt=${qt}/src/gui/painting/QIMAGETRANSFORM_LICENSE.txt"
  "licenses/XServer-LICENSE.txt=${qt}/src/gui/painting/XCONSORTIUM_LICENSE.txt"
  "licenses/AGLFN-LICENSE.txt=${qt}/src/gui/text/AGLFN_LICENSE.txt"
  "licenses/sRGB-ICC-LICENSE.txt=${qt}/src/3rdparty/icc/LICENSE.txt"
  "licenses/WebGradients-LICENSE.txt=${qt}/util/gradientgen/WEBGRADIENTS_LICENSE.txt"
  "licenses/PCRE2-LICENCE.txt=${qt}/src/3rdparty/pcre2/LICENCE"
  "licenses/PCRE2-SLJIT-LICENCE.txt=${qt}/src/3rdparty/pcre2/LICENCE-SLJIT"
  "licenses/zlib-LICENSE.txt=${qt}/src/3rdparty/zlib/LICENSE"
  "licenses/double-conversion-LICENSE.txt=${qt}/src/3rdparty/double-conversion/LICENSE"
  "licenses/TinyCBOR-LICENSE.txt=${qt}/src/3rdparty/tinycbor/LICENSE"
  "licenses/Easing-LICENSE.txt=${qt}/src/3rdparty/easing/LICENSE"
  "licenses/RFC6234-LICENSE.txt=${qt}/src/3rdparty/rfc6234/LICENSE"
  "licenses/SHA3-Keccak-CC0.txt=${qt}/src/3rdparty/sha3/CC0_LICENSE"
  "licenses/SHA3-brg_endian-LICENSE.txt=${qt}/src/3rdparty/sha3/BRG_ENDIAN_LICENSE"
  "licenses/BLAKE2-COPYING.txt=${qt}/src/3rdparty/blake2/COPYING"
  "licenses/SipHash-LICENSE.txt=${qt}/src/corelib/tools/LICENSE.siphash"
  "licenses/Unicode-LICENSE.txt=${qt}/src/corelib/text/UNICODE_LICENSE.txt"
  "licenses/MinGW-GCC-runtime-copyright.txt=/usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright"
  "licenses/MinGW-w64-copyright.txt=/usr/share/doc/mingw-w64-x86-64-dev/copyright"
  "licenses/GPL-3.txt=/usr/share/common-licenses/GPL-3")
# libcurl, linked into vantorel-admins.exe (packaging/windows/build-curl.sh), under curl's own licence.
if(VANTOREL_WINDOWS_CURL)
  list(APPEND licenses "licenses/curl-COPYING.txt=${VANTOREL_WINDOWS_CURL}/COPYING")
  install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/build-curl.sh DESTINATION licenses COMPONENT windows_package)
endif()
# The script that built Qt's DLLs, part of their source as built; a shell script, so with its own line ends.
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/build-qt.sh DESTINATION licenses COMPONENT windows_package)
set(manuals
  "VantorelAdmins.txt=${PROJECT_SOURCE_DIR}/packaging/VantorelAdmins.1"
  "vantorel-admins.txt=${PROJECT_SOURCE_DIR}/cli/vantorel-admins.1")
# Signing, when a certificate is given: the programs and the DLLs built here (Qt's; the MinGW runtime's lib*.dll are
# Debian's as they come), setup_helper.exe, the uninstaller and the setup program, each after it is stripped.
set(VANTOREL_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM, with its chain) for the Windows release; empty: unsigned")
set(VANTOREL_SIGN_KEY "" CACHE FILEPATH "The private key of VANTOREL_SIGN_CERT (PEM, not encrypted)")
set(VANTOREL_SIGN_TIMESTAMP "" CACHE STRING "Address of an RFC 3161 timestamping server, so that signatures outlive the certificate")
set(signVariables)
if(VANTOREL_SIGN_CERT)
  find_program(VANTOREL_OSSLSIGNCODE osslsigncode REQUIRED)
  if(NOT EXISTS "${VANTOREL_SIGN_CERT}" OR NOT EXISTS "${VANTOREL_SIGN_KEY}")
    message(FATAL_ERROR "VANTOREL_SIGN_CERT and VANTOREL_SIGN_KEY must name the certificate and its key")
  endif()
  set(signVariables -DOSSLSIGNCODE=${VANTOREL_OSSLSIGNCODE} -DCERT=${VANTOREL_SIGN_CERT} -DKEY=${VANTOREL_SIGN_KEY}
    -DTIMESTAMP=${VANTOREL_SIGN_TIMESTAMP} "-DDESCRIPTION=${windowName}"
    -DURL=https://wiki.vantorel.org/wiki/Admin_Commands)
endif()
set(signScript ${CMAKE_CURRENT_LIST_DIR}/sign.cmake)

install(CODE "
  set(texts \"${licenses}\")
  set(manuals \"${manuals}\")
  set(groff \"${VANTOREL_GROFF}\")
  set(strip \"${CMAKE_STRIP}\")
  set(sign \"${signVariables}\")
  set(signScript \"${signScript}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/install_texts.cmake\")" COMPONENT windows_package)

# The setup program (NSIS.template.in beside this file, which CPack fills in). Values reach CPack as they are written
# here (the quotes of the NSIS commands below included).
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_NSIS_PACKAGE_NAME "${windowName}")
set(CPACK_NSIS_DISPLAY_NAME "${windowName}")
# The folder, in the 64-bit Program Files or the user's Programs, without the version, so that a newer setup
# program finds and replaces the older installation. The uninstall key is named by the fixed product code (the
# desktop entry's identifier), never by the name shown, which may change; earlier setup programs named it after
# the window, and their installations are taken over.
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${windowName}")
set(productCode org.vantorel.AdminsHelper)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/icons/vantorel-admins.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/app/icons/vantorel-admins.ico)
set(CPACK_NSIS_URL_INFO_ABOUT "https://wiki.vantorel.org/wiki/Admin_Commands")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# The licence page shows the program's own terms, the text of packaging/copyright, as LICENSE.txt does.
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
  NEWLINE_STYLE CRLF)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt)

# What the setup program and its uninstaller run to change the PATH, to find the programs running from the folder
# and to lay out the installation, and what the uninstall entry runs to uninstall and wait for it. It goes into both
# and into the installation folder, and so needs nothing beside it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/setup_helper/setup_helper.rc.in setup_helper.rc @ONLY)
add_executable(setup_helper ${CMAKE_CURRENT_LIST_DIR}/setup_helper/setup_helper.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/setup_helper.rc)
target_compile_options(setup_helper PRIVATE -municode)
target_compile_definitions(setup_helper PRIVATE "VANTOREL_PRODUCT_CODE=L\"${productCode}\"")
target_link_options(setup_helper PRIVATE -municode -mwindows -static -s)
set_target_properties(setup_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
if(signVariables)
  add_custom_command(TARGET setup_helper POST_BUILD
    COMMAND ${CMAKE_COMMAND} ${signVariables} -DFILES=$<TARGET_FILE:setup_helper> -P ${signScript} VERBATIM)
endif()

# The names the script uses, and the setup program's own version record, which CPack has no variable for.
set(versionNumbers "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
# makensis runs the signing script on the uninstaller it writes and on the setup program, each by its file name (%1).
set(finalize)
if(signVariables)
  list(JOIN signVariables "\" \"" quoted)
  set(command "\"${CMAKE_COMMAND}\" \"${quoted}\" \"-DFILES=%1\" -P \"${signScript}\"")
  set(finalize "!uninstfinalize '${command}' = 0\n  !finalize '${command}' = 0")
endif()
set(CPACK_NSIS_DEFINES "
  !define WINDOW_EXE VantorelAdmins.exe
  !define HELPER \"${CMAKE_CURRENT_BINARY_DIR}/setup_helper.exe\"
  !define LOG_FILE vantorel-admins-setup.log
  !define PRODUCT_CODE ${productCode}
  !define LEGACY_KEY \"${windowName}\"
  !define MARKER vantorel-installation.txt
  ${finalize}
  VIProductVersion ${versionNumbers}
  VIFileVersion ${versionNumbers}
  VIAddVersionKey /LANG=1033 ProductName \"${windowName}\"
  VIAddVersionKey /LANG=1033 ProductVersion ${CPACK_PACKAGE_VERSION}
  VIAddVersionKey /LANG=1033 FileVersion ${CPACK_PACKAGE_VERSION}
  VIAddVersionKey /LANG=1033 FileDescription \"${windowName} setup\"
  VIAddVersionKey /LANG=1033 CompanyName \"${CPACK_PACKAGE_VENDOR}\"
  VIAddVersionKey /LANG=1033 LegalCopyright \"Copyright 2026 The Vantorel developers\"")
