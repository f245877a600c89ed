# Build-time guard: the embedded image must be exactly 2,359,296 bytes.
file(SIZE "${IMAGE}" size)
if(NOT size EQUAL 2359296)
  message(FATAL_ERROR "Firmware image ${IMAGE} is ${size} bytes; it must be exactly 2359296 bytes.")
endif()
file(WRITE "${STAMP}" "${size}\n")
