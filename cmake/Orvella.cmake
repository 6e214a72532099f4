# Build helpers shared by every folder.

# orvella_library(NAME [DEPS targets...])
# One static library per folder: its own *.cpp plus the files of the platform
# subfolder (linux/ or win32/) that matches the target system.
function(orvella_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    file(GLOB os_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*.cpp)
  else()
    file(GLOB os_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/linux/*.cpp)
  endif()
  add_library(${name} STATIC ${sources} ${os_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# orvella_gtest(NAME LABEL label SOURCES files... [DEPS targets...] [PROPERTIES ...])
# A GoogleTest executable whose tests CTest lists one by one under one label.
# A test that calls GTEST_SKIP counts as skipped, not as passed.
function(orvella_gtest name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;DEPS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Under Wine the first listing may have to make the prefix first.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS ${ARG_LABEL} SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]" ${ARG_PROPERTIES})
endfunction()

# orvella_qt_library(NAME [DEPS targets...]): a folder library that uses Qt Widgets.
function(orvella_qt_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  orvella_library(${name} DEPS ${ARG_DEPS} Qt6::Widgets)
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
endfunction()
