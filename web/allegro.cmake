# The web page build links the static Allegro with the browser platform that
# scripts/web.sh builds with emscripten (web/platform, web/patches). It stands
# in for the pkg-config target of the Linux build under the same name, so the
# layers link their library the same way everywhere.

set(RIBBONS_ALLEGRO_PREFIX "" CACHE PATH
    "Where scripts/web.sh installed the static Allegro for the browser")
set(allegro_library "${RIBBONS_ALLEGRO_PREFIX}/lib/liballeg.a")
if(NOT EXISTS "${allegro_library}")
  message(FATAL_ERROR "No browser Allegro at ${allegro_library}; build it with scripts/web.sh")
endif()

add_library(PkgConfig::ALLEGRO INTERFACE IMPORTED)
target_include_directories(PkgConfig::ALLEGRO SYSTEM INTERFACE "${RIBBONS_ALLEGRO_PREFIX}/include")
target_link_libraries(PkgConfig::ALLEGRO INTERFACE "${allegro_library}")

# The program catches bad_alloc, which emscripten would otherwise turn into
# an abort.
add_compile_options(-fexceptions)
# The line's colours packed four at a time with SSE2's instructions, which
# emscripten carries out with WebAssembly's vector ones: exact (the ramp
# proof passes under node) but slower in the page than the plain adding
# ramp, so off (docs/performance.md has the figures).
option(RIBBONS_WEB_SSE2 "Pack the line's colours with SSE2 through WebAssembly SIMD" OFF)
if(RIBBONS_WEB_SSE2)
  add_compile_options(-msimd128 -msse2)
endif()

# The platform yields to the browser from inside the program's own loop,
# which never returns to it: every function can be unwound and resumed
# (ASYNCIFY); instrumenting only some broke the screenshot's exception
# handling. Memory grows as the tests need; the exit handlers run, the
# library's shutdown among them.
add_link_options(-fexceptions -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
                 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1)

# Programs run under node read and write the machine's own files.
set(RIBBONS_NODE_LINK_OPTIONS -sNODERAWFS=1 -sENVIRONMENT=node)
