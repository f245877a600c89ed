# The release package (cpack -G ZIP, or the target package): the shipped programs as
# built (signed when the build signs), the deployment notes and the scripts and playbook
# of deploy/, and SHA256SUMS over them,
# in qir-<version>-<image revision>-win64.zip.
install(TARGETS ${QIR_SHIPPED_PROGRAMS} RUNTIME DESTINATION .)
# DEPLOYMENT.txt: the package's own first part, then docs/deployment.md, the one home of
# the deployment's steps and codes, so that the package explains each code as the docs do.
set(_deployment_parts "${CMAKE_SOURCE_DIR}/packaging/DEPLOYMENT.txt" "${CMAKE_SOURCE_DIR}/docs/deployment.md")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_deployment_parts})
file(READ "${CMAKE_SOURCE_DIR}/packaging/DEPLOYMENT.txt" _deployment_head)
file(READ "${CMAKE_SOURCE_DIR}/docs/deployment.md" _deployment_guide)
file(WRITE "${CMAKE_BINARY_DIR}/DEPLOYMENT.txt" "${_deployment_head}${_deployment_guide}")
install(FILES "${CMAKE_BINARY_DIR}/DEPLOYMENT.txt"
              "${CMAKE_SOURCE_DIR}/deploy/windows/Install-Qir.ps1"
              "${CMAKE_SOURCE_DIR}/deploy/windows/Detect-Qir.ps1"
              "${CMAKE_SOURCE_DIR}/deploy/windows/Get-QirScanResult.ps1"
              "${CMAKE_SOURCE_DIR}/deploy/ansible/qir.yml" DESTINATION .)
# Last, so that it sums every file installed before it.
install(SCRIPT "${CMAKE_SOURCE_DIR}/cmake/WriteChecksums.cmake")

# The revision names the package unless it holds a character that a Windows file name
# cannot (or that an admin would rather not type); then its bytes in hex do.
if(QIR_IMAGE_REVISION MATCHES "^[A-Za-z0-9._-]+$")
  set(_package_revision "${QIR_IMAGE_REVISION}")
else()
  set(_package_revision "${QIR_IMAGE_REVISION_HEX}")
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qir)
set(CPACK_PACKAGE_VENDOR KORVANE)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "qir-${PROJECT_VERSION}-${_package_revision}-win64")
include(CPack)
