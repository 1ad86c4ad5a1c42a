# The page: the show for the browser, built by web/build.sh under emscripten's toolchain.
# The same gfx/, audio/, demo/, report/ and app/ sources as the program (listed in the root
# CMakeLists.txt), with platform/web/ as the platform and web/main.cpp as the entry.
set(QUORL_WEB_PREFIX "" CACHE PATH "Where web/build.sh installed the decoders")

add_executable(quorl web/main.cpp ${PLATFORM_SOURCES} ${PLATFORM_WEB_SOURCES} ${GFX_SOURCES}
  ${AUDIO_SOURCES} ${DEMO_SOURCES} ${REPORT_SOURCES} ${APP_SOURCES})

# gfx/gl.h takes the GL types and names from the desktop's glcorearb.h, which emscripten
# does not ship: a copy from the build machine's GL headers, in the build folder only.
configure_file(/usr/include/GL/glcorearb.h ${CMAKE_BINARY_DIR}/include/GL/glcorearb.h COPYONLY)
target_include_directories(quorl PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/include
  ${QUORL_WEB_PREFIX}/include)
target_compile_definitions(quorl PRIVATE QUORL_GLSL_ES=1)
target_compile_options(quorl PRIVATE -Wall -Wextra)

foreach(lib turbojpeg spng_static spng vorbisfile vorbis ogg z)
  find_library(LIB_${lib} NAMES ${lib} lib${lib}.a PATHS ${QUORL_WEB_PREFIX}/lib
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
endforeach()
if(NOT LIB_spng_static)
  set(LIB_spng_static ${LIB_spng})
endif()
foreach(lib turbojpeg spng_static vorbisfile vorbis ogg z)
  if(NOT LIB_${lib})
    message(FATAL_ERROR "lib${lib} is missing from ${QUORL_WEB_PREFIX}: run web/build.sh")
  endif()
endforeach()
# libspng is linked statically: its header then wants SPNG_STATIC.
target_compile_definitions(quorl PRIVATE SPNG_STATIC)
target_link_libraries(quorl PRIVATE ${LIB_turbojpeg} ${LIB_spng_static} ${LIB_vorbisfile}
  ${LIB_vorbis} ${LIB_ogg} ${LIB_z})

# WebGL 2 only; the heap grows with the pictures; the runtime stays after main returns
# (the page's frames drive the show). The data folder is packed apart (web/pack-data.sh),
# so a test can pack a broken copy of it without building again.
target_link_options(quorl PRIVATE
  -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=134217728
  -sENVIRONMENT=web -sEXIT_RUNTIME=0 -sFORCE_FILESYSTEM=1)
