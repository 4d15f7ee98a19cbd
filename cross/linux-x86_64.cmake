# 64-bit PC Linux through Debian's own compilers, built as for another target
# so that nothing of the SDL family comes from this machine's packages: the
# libraries SDL loads at run time are found for their headers and names only.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-linux-gnu)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})
# pkg-config reads this architecture's files and no others.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${triple}/pkgconfig:/usr/share/pkgconfig)
