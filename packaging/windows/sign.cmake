# Signs Windows programs and DLLs in place with osslsigncode (Authenticode, SHA-256), which writes a signed copy
# that then replaces the file. Used after the binaries are stripped (install_texts.cmake), after setup_helper.exe
# is linked, and by makensis for the uninstaller it writes and for the setup program (!uninstfinalize, !finalize).
#   cmake -DFILES=a.exe;b.dll -DOSSLSIGNCODE=... -DCERT=cert.pem -DKEY=key.pem [-DTIMESTAMP=url]
#         -DDESCRIPTION=... -DURL=... -P sign.cmake
# Included instead, it only defines vantorel_sign(FILE...) with the same variables.
function(vantorel_sign)
  foreach(file IN LISTS ARGN)
    set(options -h sha256 -certs "${CERT}" -key "${KEY}" -n "${DESCRIPTION}" -i "${URL}")
    if(TIMESTAMP)
      list(APPEND options -ts "${TIMESTAMP}")
    endif()
    file(REMOVE "${file}.signed")
    execute_process(COMMAND "${OSSLSIGNCODE}" sign ${options} -in "${file}" -out "${file}.signed"
      OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      file(REMOVE "${file}.signed")
      message(FATAL_ERROR "${file} could not be signed: ${output}")
    endif()
    file(RENAME "${file}.signed" "${file}")
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  vantorel_sign(${FILES})
endif()
