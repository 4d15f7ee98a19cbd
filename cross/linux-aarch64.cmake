# 64-bit ARM Linux through Debian's aarch64 cross compilers
# (crossbuild-essential-arm64). The libraries SDL loads at run time are found
# for their headers and names among Debian's arm64 packages, installed beside
# this machine's own (tools/install-deps.sh linux).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_AR ${triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${triple}-strip CACHE FILEPATH "")
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})
# pkg-config reads this architecture's files and no others.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${triple}/pkgconfig:/usr/share/pkgconfig)
