# zlib as a static library (libz.a) with its two headers. The source
# package leaves out the Windows resources that zlib's own CMake file needs.
cmake_minimum_required(VERSION 3.22)
project(zlib VERSION 1.2.13 LANGUAGES C)
add_library(z STATIC adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c
  inflate.c infback.c inftrees.c inffast.c trees.c uncompr.c zutil.c)
install(TARGETS z ARCHIVE DESTINATION lib)
install(FILES zlib.h zconf.h DESTINATION include)
# What zlib's configure would find on any of our targets.
target_compile_definitions(z PRIVATE HAVE_UNISTD_H HAVE_STDARG_H)
