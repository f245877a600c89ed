# Authenticode signing of the programs a release ships, after each is linked. Without a
# certificate the build is unsigned. The password reaches osslsigncode as a file name
# only, so it shows neither in the build's command lines nor in a process listing.
set(QIR_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate, its chain and key; empty: no signing")
set(QIR_SIGN_CERT "" CACHE FILEPATH
    "Code-signing certificate and chain, PEM (with QIR_SIGN_KEY, instead of QIR_SIGN_PKCS12)")
set(QIR_SIGN_KEY "" CACHE FILEPATH "Private key of QIR_SIGN_CERT, PEM")
set(QIR_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File whose first line is the password of QIR_SIGN_PKCS12 or QIR_SIGN_KEY")
set(QIR_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server for the signature; empty: no time stamp")

set(QIR_SIGN_ARGS "")
set(QIR_SIGN_INPUTS "")
if(NOT QIR_SIGN_PKCS12 STREQUAL "")
  if(NOT QIR_SIGN_CERT STREQUAL "" OR NOT QIR_SIGN_KEY STREQUAL "")
    message(FATAL_ERROR "Give either QIR_SIGN_PKCS12, or QIR_SIGN_CERT and QIR_SIGN_KEY")
  endif()
  set(QIR_SIGN_INPUTS PKCS12)
elseif(NOT QIR_SIGN_CERT STREQUAL "" OR NOT QIR_SIGN_KEY STREQUAL "")
  if(QIR_SIGN_CERT STREQUAL "" OR QIR_SIGN_KEY STREQUAL "")
    message(FATAL_ERROR "QIR_SIGN_CERT and QIR_SIGN_KEY go together")
  endif()
  set(QIR_SIGN_INPUTS CERT KEY)
endif()
if(QIR_SIGN_INPUTS AND NOT QIR_SIGN_PASSWORD_FILE STREQUAL "")
  list(APPEND QIR_SIGN_INPUTS PASSWORD_FILE)
endif()

set(QIR_SIGN_FILES "")
foreach(_input ${QIR_SIGN_INPUTS})
  get_filename_component(_file "${QIR_SIGN_${_input}}" ABSOLUTE)
  if(NOT EXISTS "${_file}")
    message(FATAL_ERROR "QIR_SIGN_${_input}: ${_file} does not exist")
  endif()
  string(TOLOWER "--${_input}" _option)
  string(REPLACE "_" "-" _option "${_option}")
  list(APPEND QIR_SIGN_ARGS "${_option}" "${_file}")
  list(APPEND QIR_SIGN_FILES "${_file}")
endforeach()
if(QIR_SIGN_INPUTS AND NOT QIR_SIGN_TIMESTAMP_URL STREQUAL "")
  list(APPEND QIR_SIGN_ARGS --timestamp "${QIR_SIGN_TIMESTAMP_URL}")
endif()

if(QIR_SIGN_INPUTS)
  list(GET QIR_SIGN_FILES 0 _certificate)
  message(STATUS "Signing ${QIR_SHIPPED_PROGRAMS} with ${_certificate}")
else()
  message(STATUS "No signing certificate given: the programs are not signed")
endif()

# Signs TARGET's file in place after each link, and links again when the certificate or
# key changes, so that the file on disk is always signed with the current one.
function(qir_sign_after_link target)
  if(NOT QIR_SIGN_INPUTS)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/sign_exe.sh" ${QIR_SIGN_ARGS}
            "$<TARGET_FILE:${target}>" "$<TARGET_FILE:${target}>"
    COMMENT "Signing ${target}"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QIR_SIGN_FILES})
endfunction()
