# WebAssembly through Debian's emscripten package. Its ports (which would
# download) are never used: the SDL family is built from our own sources.
#
# CMake reads this file again for every configure check, in a small project
# of its own, and the platform file below then asks emcc for its versions
# (two runs of emcc's Python) unless they are known. The first read asks and
# hands the answers on to every check's project.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CMAKE_C_COMPILER_VERSION
  CMAKE_CXX_COMPILER_VERSION EMSCRIPTEN_VERSION)
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

