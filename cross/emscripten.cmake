# WebAssembly through Debian's emscripten package. Its ports (which would
# download) are never used: the SDL family is built from our own sources.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
