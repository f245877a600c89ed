# Chooses the firmware image to embed and produces the source that embeds it.
set(QIR_FIRMWARE_IMAGE "" CACHE FILEPATH
    "Firmware image to embed (exactly 2,359,296 bytes); empty uses a generated placeholder")

if(QIR_FIRMWARE_IMAGE STREQUAL "")
  set(_image "${CMAKE_BINARY_DIR}/placeholder_image.bin")
  if(NOT EXISTS "${_image}")
    find_program(QIR_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
    set(_gen "${CMAKE_BINARY_DIR}/make_placeholder_image")
    execute_process(
      COMMAND "${QIR_HOST_CXX}" -O2 -o "${_gen}"
              "${CMAKE_SOURCE_DIR}/firmware/tools/make_placeholder_image.cpp"
      RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "Cannot build the placeholder image generator")
    endif()
    execute_process(COMMAND "${_gen}" "${_image}" RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "Cannot generate the placeholder image ${_image}")
    endif()
  endif()
else()
  get_filename_component(_image "${QIR_FIRMWARE_IMAGE}" ABSOLUTE)
endif()

if(NOT EXISTS "${_image}")
  message(FATAL_ERROR "Firmware image ${_image} does not exist")
endif()
file(SIZE "${_image}" _size)
if(NOT _size EQUAL 2359296)
  message(FATAL_ERROR
    "Firmware image ${_image} is ${_size} bytes; it must be exactly 2359296 bytes.")
endif()

set(QIR_IMAGE_PATH "${_image}")
set(QIR_IMAGE_EMBED_SOURCE "${CMAKE_BINARY_DIR}/generated/firmware_image_data.cpp")
configure_file("${CMAKE_SOURCE_DIR}/firmware/firmware_image_data.cpp.in"
               "${QIR_IMAGE_EMBED_SOURCE}" @ONLY)
# Re-check at build time, in case the file changed since configure.
set(QIR_IMAGE_STAMP "${CMAKE_BINARY_DIR}/generated/firmware_image.checked")
add_custom_command(
  OUTPUT "${QIR_IMAGE_STAMP}"
  COMMAND "${CMAKE_COMMAND}" -DIMAGE=${QIR_IMAGE_PATH} -DSTAMP=${QIR_IMAGE_STAMP}
          -P "${CMAKE_SOURCE_DIR}/cmake/CheckImageSize.cmake"
  DEPENDS "${QIR_IMAGE_PATH}"
  COMMENT "Checking the firmware image size")
set_source_files_properties("${QIR_IMAGE_EMBED_SOURCE}" PROPERTIES
  OBJECT_DEPENDS "${QIR_IMAGE_PATH};${QIR_IMAGE_STAMP}")

# The image's revision as the build knows it, read from the same file that is embedded, so
# that the version record, the package name and the scan (which carries no image) can
# never disagree with the image inside qir.exe. QIR_IMAGE_REVISION_HEX holds the eight
# bytes as they are; QIR_IMAGE_REVISION is their text, each byte outside printable ASCII
# (and the quote and backslash, which would break a resource or source string) written
# as '?'.
file(READ "${QIR_IMAGE_PATH}" QIR_IMAGE_REVISION_HEX OFFSET 12320 LIMIT 8 HEX)
# A new image in the same file configures again, so the revision is read anew with it.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${QIR_IMAGE_PATH}")
# For the tests that check a build against the image it embeds.
set(QIR_EMBEDDED_IMAGE "${QIR_IMAGE_PATH}" CACHE INTERNAL "The firmware image this build embeds")
set(QIR_IMAGE_REVISION "")
foreach(_i RANGE 0 14 2)
  string(SUBSTRING "${QIR_IMAGE_REVISION_HEX}" ${_i} 2 _byte_hex)
  math(EXPR _byte "0x${_byte_hex}")
  if(_byte GREATER_EQUAL 32 AND _byte LESS 127 AND NOT _byte EQUAL 34 AND NOT _byte EQUAL 92)
    string(ASCII ${_byte} _char)
  else()
    set(_char "?")
  endif()
  string(APPEND QIR_IMAGE_REVISION "${_char}")
endforeach()
message(STATUS "Firmware image ${QIR_IMAGE_PATH}: revision ${QIR_IMAGE_REVISION}")
