# The Windows build links the static Allegro that scripts/windows.sh builds
# from source with the patches beside this file. It stands in for the
# pkg-config target of the Linux build under the same name, so the layers
# link their library the same way on both systems.

set(RIBBONS_ALLEGRO_PREFIX "" CACHE PATH
    "Where scripts/windows.sh installed the static Allegro for Windows")
set(allegro_library "${RIBBONS_ALLEGRO_PREFIX}/lib/liballeg.a")
if(NOT EXISTS "${allegro_library}")
  message(FATAL_ERROR "No static Allegro at ${allegro_library}; build it with scripts/windows.sh")
endif()

add_library(PkgConfig::ALLEGRO INTERFACE IMPORTED)
target_include_directories(PkgConfig::ALLEGRO SYSTEM INTERFACE "${RIBBONS_ALLEGRO_PREFIX}/include")
# The headers declare the library's functions for a static link only when told.
target_compile_definitions(PkgConfig::ALLEGRO INTERFACE ALLEGRO_STATICLINK)
# The DirectX and Windows libraries the static library calls into.
target_link_libraries(PkgConfig::ALLEGRO INTERFACE
  "${allegro_library}" dinput ddraw dxguid dsound winmm ole32 gdi32)

# Every program carries its C and C++ runtimes, so it needs no DLL beyond
# Windows' own; each is a console program, with a console beside its window.
add_link_options(-static -mconsole)
