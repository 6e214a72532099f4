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

# orvella_gtest(NAME LABEL label SOURCES files... [DEPS targets...] [PROPERTIES ...]
#               [NOT_RUN reason tests... [NOT_RUN reason tests...]])
# A GoogleTest executable whose tests CTest lists one by one under one label.
# A test that calls GTEST_SKIP counts as skipped, not as passed. Tests named
# after a NOT_RUN reason are left out of this build's run, and one skipped
# CTest entry per reason says which and why.
function(orvella_gtest name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;DEPS;PROPERTIES;NOT_RUN" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Under Wine the first listing may have to make the prefix first.
  set(filter "")
  set(reason "")
  foreach(word ${ARG_NOT_RUN})
    if(word MATCHES " ")
      set(reason "${word}")
      continue()
    endif()
    string(APPEND filter ":${word}")
    add_test(NAME ${word}.NotRun COMMAND ${CMAKE_COMMAND} -E echo "not run here: ${reason}")
    set_tests_properties(${word}.NotRun PROPERTIES LABELS ${ARG_LABEL} SKIP_REGULAR_EXPRESSION "not run here")
  endforeach()
  if(filter)
    string(SUBSTRING "${filter}" 1 -1 filter)
    set(filter TEST_FILTER "-${filter}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180 ${filter}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS ${ARG_LABEL} SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]" ${ARG_PROPERTIES})
endfunction()

# orvella_qt_library(NAME [DEPS targets...]): a folder library that uses Qt Widgets.
function(orvella_qt_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  orvella_library(${name} DEPS ${ARG_DEPS} Qt6::Widgets)
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
endfunction()
