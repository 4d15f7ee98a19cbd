# SDL2_gfx as a static library: its sources, headers and a pkg-config file.
cmake_minimum_required(VERSION 3.22)
project(SDL2_gfx VERSION 1.0.4 LANGUAGES C)
find_package(SDL2 REQUIRED CONFIG)
set(headers SDL2_framerate.h SDL2_gfxPrimitives.h SDL2_gfxPrimitives_font.h SDL2_imageFilter.h
  SDL2_rotozoom.h)
add_library(SDL2_gfx STATIC SDL2_framerate.c SDL2_gfxPrimitives.c SDL2_imageFilter.c SDL2_rotozoom.c)
target_link_libraries(SDL2_gfx PRIVATE SDL2::SDL2-static)
install(TARGETS SDL2_gfx ARCHIVE DESTINATION lib)
install(FILES ${headers} DESTINATION include/SDL2)
