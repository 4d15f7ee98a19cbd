# The Debian package: the demo in /usr/games and the capture tool in /usr/bin,
# a desktop entry with the logo as its icon, the manual pages, the changelog
# and the copyright file, packed by CPack with the dependencies dpkg-shlibdeps
# computes from the executables; ffmpeg, which the capture tool needs only for
# video files, is recommended.
# Configure with -DVIMBEL_DEB=ON -DCMAKE_INSTALL_PREFIX=/usr and run `cpack -G DEB`.

set(DEB_NAME vimbel-demo)
set(DEB_DOC_DIR share/doc/${DEB_NAME})
set(DEB_STAGE ${CMAKE_BINARY_DIR}/deb)
file(MAKE_DIRECTORY ${DEB_STAGE})

install(TARGETS vimbel-demo RUNTIME DESTINATION games)
install(TARGETS vimbel-capture RUNTIME DESTINATION bin)
# A games package with a tool in /usr/bin, on purpose; the file says why.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides DESTINATION share/lintian/overrides
  RENAME ${DEB_NAME})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vimbel-demo.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/res/vimbel.png DESTINATION share/pixmaps RENAME vimbel-demo.png)

# Dates in the manual pages and the changelog come from the commit, like the
# embedded files' times, so that rebuilding a commit gives the same files.
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT VIMBEL_SOURCE_DATE_EPOCH STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "${VIMBEL_SOURCE_DATE_EPOCH}")
endif()
string(TIMESTAMP DEB_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP DEB_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

set(DEB_MAINTAINER "Tolvard <tolvard@example.org>")
configure_file(${CMAKE_SOURCE_DIR}/packaging/vimbel-demo.6.in ${DEB_STAGE}/vimbel-demo.6 @ONLY)
# The capture tool's page is made by help2man from its --help and --version,
# so the options are written once, in the tool; the file it includes holds
# the other sections. help2man dates the page by SOURCE_DATE_EPOCH.
find_program(HELP2MAN help2man REQUIRED)
add_custom_command(
  OUTPUT ${DEB_STAGE}/vimbel-capture.1
  COMMAND ${CMAKE_COMMAND} -E env ${BINDATA_ENV} LC_ALL=C.UTF-8
    ${HELP2MAN} --include=${CMAKE_SOURCE_DIR}/packaging/vimbel-capture.h2m
    --output=${DEB_STAGE}/vimbel-capture.1 $<TARGET_FILE:vimbel-capture>
  DEPENDS vimbel-capture ${CMAKE_SOURCE_DIR}/packaging/vimbel-capture.h2m
  VERBATIM)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${DEB_STAGE}/changelog @ONLY)

# Debian wants both compressed with gzip -9n (no name, no time stamp).
foreach(page vimbel-demo.6 vimbel-capture.1 changelog)
  add_custom_command(
    OUTPUT ${DEB_STAGE}/${page}.gz
    COMMAND gzip -9 -n -c ${DEB_STAGE}/${page} > ${DEB_STAGE}/${page}.gz
    DEPENDS ${DEB_STAGE}/${page}
    VERBATIM)
endforeach()
add_custom_target(deb-docs ALL DEPENDS ${DEB_STAGE}/vimbel-demo.6.gz ${DEB_STAGE}/vimbel-capture.1.gz
  ${DEB_STAGE}/changelog.gz)
install(FILES ${DEB_STAGE}/vimbel-demo.6.gz DESTINATION share/man/man6)
install(FILES ${DEB_STAGE}/vimbel-capture.1.gz DESTINATION share/man/man1)
install(FILES ${DEB_STAGE}/changelog.gz DESTINATION ${DEB_DOC_DIR})

# The copyright file, machine-readable: the zlib licence's terms from LICENSE
# and the font's from its licence file, in the format's indented paragraphs.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
string(FIND "${licence}" "This software is provided" terms_start)
string(FIND "${licence}" "\n----" terms_end)
math(EXPR terms_length "${terms_end} - ${terms_start}")
string(SUBSTRING "${licence}" ${terms_start} ${terms_length} ZLIB_TERMS)
string(STRIP "${ZLIB_TERMS}" ZLIB_TERMS)
string(REPLACE "\n\n" "\n.\n" ZLIB_TERMS "${ZLIB_TERMS}")
string(REPLACE "\n" "\n " ZLIB_TERMS " ${ZLIB_TERMS}")
file(READ ${CMAKE_SOURCE_DIR}/assets/font-LICENSE.txt font_licence)
string(FIND "${font_licence}" "License: bitstream-vera\n" font_start)
math(EXPR font_start "${font_start} + 24")
string(SUBSTRING "${font_licence}" ${font_start} -1 FONT_TERMS)
string(STRIP "${FONT_TERMS}" FONT_TERMS)
set(FONT_TERMS " ${FONT_TERMS}")
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${DEB_STAGE}/copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/assets/font-LICENSE.txt)
install(FILES ${DEB_STAGE}/copyright DESTINATION ${DEB_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${DEB_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running audiovisual demo")
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A short demo for the Vimbel 2023 party: it takes over the screen, plays its
own music in a loop and shows a scripted scene over a falling starfield -
greetings that fade in and out, a rising spaceship, an asteroid field and
an explosion - and then ends by itself. Press Escape to leave early.
.
vimbel-capture writes the demo with its music to a video file (with ffmpeg)
or to a directory of PNG frames, without a display or a sound card.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ffmpeg)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
