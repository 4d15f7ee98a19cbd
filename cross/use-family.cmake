# The SDL family and zlib for a target that links them in (Windows, the
# browser, the Linux release), from the prefix that build-family.sh made
# (VIMBEL_SDL_FAMILY). It defines the
# same targets as the pkg-config lookups of a native build, each naming its
# static library by full path (a bare -lSDL2 would make emscripten reach for
# its own ports).
set(family ${VIMBEL_SDL_FAMILY})
if(NOT EXISTS ${family}/lib/libSDL2.a)
  message(FATAL_ERROR "${family} holds no SDL family; run cross/build-family.sh")
endif()

function(family_library name file)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION ${family}/lib/${file}
    INTERFACE_INCLUDE_DIRECTORIES "${family}/include;${family}/include/SDL2")
  if(ARGN)
    set_property(TARGET ${name} PROPERTY INTERFACE_LINK_LIBRARIES ${ARGN})
  endif()
endfunction()

# What static SDL needs of the system, as its own pkg-config file lists it.
set(sdl_system_libraries)
if(WIN32)
  set(sdl_system_libraries m user32 gdi32 winmm imm32 ole32 oleaut32 version uuid advapi32
    setupapi shell32 dinput8)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Only the C library: SDL loads its backends itself.
  set(sdl_system_libraries m ${CMAKE_DL_LIBS} pthread rt)
endif()

family_library(PkgConfig::SDL2 libSDL2.a ${sdl_system_libraries})
# SDL's WinMain, which calls the program's main (Windows only).
if(EXISTS ${family}/lib/libSDL2main.a)
  family_library(vimbel::SDL2main libSDL2main.a)
endif()
family_library(PkgConfig::SDL2_IMAGE libSDL2_image.a PkgConfig::SDL2)
family_library(vimbel::freetype libfreetype.a PkgConfig::ZLIB)
family_library(PkgConfig::SDL2_TTF libSDL2_ttf.a "PkgConfig::SDL2;vimbel::freetype")
family_library(PkgConfig::SDL2_MIXER libSDL2_mixer.a PkgConfig::SDL2)
family_library(PkgConfig::SDL2_GFX libSDL2_gfx.a PkgConfig::SDL2)
if(EXISTS ${family}/lib/libz.a)
  family_library(PkgConfig::ZLIB libz.a)
else()
  # The target's own zlib (Debian's libz-mingw-w64-dev for Windows).
  set(ZLIB_USE_STATIC_LIBS ON)
  find_package(ZLIB REQUIRED)
  add_library(PkgConfig::ZLIB INTERFACE IMPORTED GLOBAL)
  set_property(TARGET PkgConfig::ZLIB PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
endif()
