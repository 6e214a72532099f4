# The Windows cross build (cmake/mingw-w64-x86_64.cmake): the libraries it
# needs, cross-built once into this build folder, and Wine as the runner of
# its tests, in a prefix of the build folder's own.
set(ORVELLA_WIN32_DEPS ${PROJECT_BINARY_DIR}/win32-deps)
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-win32-deps ${CMAKE_TOOLCHAIN_FILE} ${ORVELLA_WIN32_DEPS}
  RESULT_VARIABLE deps_result)
if(NOT deps_result EQUAL 0)
  message(FATAL_ERROR "The Windows libraries could not be built (see above)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${ORVELLA_WIN32_DEPS}/install)
set(ENV{PKG_CONFIG_LIBDIR} "${ORVELLA_WIN32_DEPS}/install/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(ORVELLA_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run ${ORVELLA_WINE_PREFIX})
