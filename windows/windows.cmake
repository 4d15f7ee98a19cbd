# The demo as one self-contained Windows executable: the Windows entry (SDL's
# WinMain calling it), the GUI subsystem, C and C++ runtimes linked in, and
# the resources (the logo as icon, made here from res/vimbel.png; the
# manifest; the version information). Included by the top-level CMakeLists.txt
# for a Windows target.
enable_language(RC)

find_program(VIMBEL_CONVERT convert)
if(NOT VIMBEL_CONVERT)
  message(FATAL_ERROR "ImageMagick's convert makes the icon (package imagemagick)")
endif()

set(windows_dir ${CMAKE_BINARY_DIR}/generated/windows)
set(VIMBEL_ICON ${windows_dir}/vimbel-demo.ico)
set(VIMBEL_MANIFEST ${windows_dir}/vimbel-demo.manifest)
# The logo fitted into a transparent square, in the sizes Explorer asks for.
add_custom_command(
  OUTPUT ${VIMBEL_ICON}
  COMMAND ${VIMBEL_CONVERT} ${CMAKE_SOURCE_DIR}/res/vimbel.png -background none -gravity center
    -resize 256x256 -extent 256x256 -define icon:auto-resize=256,128,64,48,32,24,16 ${VIMBEL_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/res/vimbel.png
  COMMENT "Making the icon from res/vimbel.png"
  VERBATIM)

# Windows wants four numbers: 1.0 is 1.0.0.0.
set(version_parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} 0 0)
list(SUBLIST version_parts 0 4 version_parts)
list(JOIN version_parts "," VIMBEL_VERSION_COMMAS)
list(JOIN version_parts "." VIMBEL_VERSION_DOTTED)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vimbel-demo.manifest.in ${VIMBEL_MANIFEST} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vimbel-demo.rc.in ${windows_dir}/vimbel-demo.rc @ONLY)
set_source_files_properties(${windows_dir}/vimbel-demo.rc PROPERTIES
  OBJECT_DEPENDS "${VIMBEL_ICON};${VIMBEL_MANIFEST}")

add_executable(vimbel-demo WIN32 ${CMAKE_CURRENT_LIST_DIR}/entry.cpp ${windows_dir}/vimbel-demo.rc)
# mingw32 first: its startup code calls WinMain, which SDL2main holds.
target_link_libraries(vimbel-demo PRIVATE mingw32 vimbel::SDL2main vimbel-core)
# One file that needs no DLL beside it, stripped, and without the link time
# in its header, so that two builds of one commit are the same bytes.
target_link_options(vimbel-demo PRIVATE -static -s -Wl,--no-insert-timestamp)
install(TARGETS vimbel-demo RUNTIME DESTINATION .)
