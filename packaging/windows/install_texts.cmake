# Run by the install step of the Windows packages (cpack_nsis.cmake), with
#   texts    "PATH=SOURCE;..."  text files copied to PATH under the installation, with CR LF line ends
#   manuals  "PATH=SOURCE;..."  manual pages rendered as plain text by groff, with CR LF line ends
#   groff, strip                the programs that render the manuals and strip the programs and DLLs
#   sign, signScript            -DNAME=VALUE settings of sign.cmake, when the binaries are to be signed, and it
# A source that is missing stops the install, so that no package is made without its licences.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

function(write_crlf path text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${root}/${path}" "${text}")
endfunction()

foreach(entry IN LISTS texts)
  string(REGEX REPLACE "=.*" "" path "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" source "${entry}")
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "${path}: its source ${source} is missing")
  endif()
  file(READ "${source}" text)
  write_crlf("${path}" "${text}")
endforeach()

if(manuals AND NOT groff)
  message(FATAL_ERROR "groff is needed to render the manuals as text (Debian's groff-base)")
endif()
foreach(entry IN LISTS manuals)
  string(REGEX REPLACE "=.*" "" path "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" source "${entry}")
  execute_process(COMMAND "${groff}" -man -Tutf8 -P-cbou "${source}"
    OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
  write_crlf("${path}" "${text}")
endforeach()

# Symbols are of no use to a user and make up most of the programs' size.
file(GLOB_RECURSE binaries "${root}/*.exe" "${root}/*.dll")
foreach(binary IN LISTS binaries)
  execute_process(COMMAND "${strip}" --strip-unneeded "${binary}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Signed once stripped, when a certificate is given: the programs and the DLLs built here. The MinGW runtime's
# lib*.dll are Debian's, as they come.
if(sign)
  foreach(variable IN LISTS sign)
    string(REGEX REPLACE "^-D([^=]*)=.*" "\\1" name "${variable}")
    string(REGEX REPLACE "^-D[^=]*=" "" value "${variable}")
    set(${name} "${value}")
  endforeach()
  include("${signScript}")
  list(FILTER binaries EXCLUDE REGEX "/lib[^/]*\\.dll$")
  vantorel_sign(${binaries})
endif()
