# The Debian package: `cmake --build build --target package` writes
# build/brindlewick_<version>-<revision>_<architecture>.deb of what Install.cmake installs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlewick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${BRINDLEWICK_ORGANIZATION})
set(CPACK_PACKAGE_CONTACT "${BRINDLEWICK_ORGANIZATION} <${BRINDLEWICK_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fill in a contractor agreement and save it as a Word document")
set(CPACK_PACKAGE_DESCRIPTION
    "Brindlewick Paperwork Studio takes the particulars of one agreement (date,
contractor, owner, location, work, price and progress payments) in a form and
fills them into its own agreement template. The filled page is shown in a
preview with zoom, scroll bars and drag-to-pan, and saved as a Word 97-2003
document that opens in Word and LibreOffice.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION office)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BRINDLEWICK_HOME_PAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The page's fonts travel with the program; the windows' Arial is Liberation Sans through
# fontconfig, and a page's Courier New is Liberation Mono from the same package.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)
# Names in Chinese, Japanese and Korean script, which the carried fonts lack; without a font for a
# script its characters show as boxes. Carlito and Caladea have the metrics of Calibri and Cambria,
# which templates name often; without them those are set in the carried fonts, whose lines break
# elsewhere. DejaVu draws Arabic, Hebrew and Greek.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-noto-cjk, fonts-crosextra-carlito, fonts-crosextra-caladea, fonts-dejavu-core")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# One time for everything dated in the package: SOURCE_DATE_EPOCH when set, else the last
# commit's, else the top CMakeLists.txt's modification time (a source archive), so that
# packaging the same source twice gives the same bytes. Fixed when the build folder is
# configured.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(package_epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE package_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT package_epoch MATCHES "^[0-9]+$")
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt package_epoch "%s" UTC)
  endif()
endif()
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackTimestamp.cmake)
file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT "set(ENV{SOURCE_DATE_EPOCH} ${package_epoch})\n")

set(BRINDLEWICK_DEB_VERSION ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
execute_process(COMMAND date --utc --rfc-email --date=@${package_epoch}
                OUTPUT_VARIABLE BRINDLEWICK_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
brindlewick_install_gzipped(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in changelog.Debian
                            ${BRINDLEWICK_DOC_DIR})

include(CPack)
