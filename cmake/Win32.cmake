# The Windows cross build (cmake/mingw-w64-x86_64.cmake): the libraries it
# needs, cross-built once per machine into a cache outside the clone
# (scripts/build-win32-deps), and Wine as the runner of its tests, in a prefix
# of the build folder's own.
set(ORVELLA_WIN32_DEPS ${PROJECT_BINARY_DIR}/win32-deps)
set(deps_args)
if(ORVELLA_GUI)
  set(deps_args --gui)
endif()
# Named relative to the source folder (as make win32 does), the toolchain
# must still be found when the build folder configures itself again.
file(REAL_PATH ${CMAKE_TOOLCHAIN_FILE} toolchain BASE_DIRECTORY ${PROJECT_SOURCE_DIR})
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-win32-deps ${toolchain} ${ORVELLA_WIN32_DEPS} ${deps_args}
  RESULT_VARIABLE deps_result)
if(NOT deps_result EQUAL 0)
  message(FATAL_ERROR "The Windows libraries could not be built (see above)")
endif()
include(${ORVELLA_WIN32_DEPS}/win32-deps.cmake)
list(APPEND CMAKE_FIND_ROOT_PATH ${ORVELLA_WIN32_DEP_DIRS})
set(pkg_config_dirs)
foreach(dir ${ORVELLA_WIN32_DEP_DIRS})
  list(APPEND pkg_config_dirs ${dir}/lib/pkgconfig)
endforeach()
list(APPEND pkg_config_dirs /usr/x86_64-w64-mingw32/lib/pkgconfig)
string(REPLACE ";" ":" pkg_config_dirs "${pkg_config_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pkg_config_dirs}")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
if(ORVELLA_GUI)
  # The program's icon, version and manifest (windres).
  enable_language(RC)
  # Qt's tools (moc, rcc, uic) are Debian's own, of the same version.
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

set(ORVELLA_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run ${ORVELLA_WINE_PREFIX})
