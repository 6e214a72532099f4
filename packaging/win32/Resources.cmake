# orvella_windows_program(TARGET): makes TARGET the Windows GUI program (no
# console window) with the application icon, a version resource and a
# manifest (per-monitor DPI awareness, common controls 6), built by windres.
set(ORVELLA_WIN32_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

function(orvella_windows_program target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/win32-resources)
  set(version_parts)
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND version_parts 0)
    else()
      list(APPEND version_parts ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  string(REPLACE ";" "." ORVELLA_FILE_VERSION "${version_parts}")
  string(REPLACE ";" "," ORVELLA_FILE_VERSION_COMMAS "${version_parts}")

  set(pictures)
  foreach(size 16 20 24 32 40 48 64 256)
    set(png ${dir}/AppIcon${size}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${PROJECT_SOURCE_DIR}/resources/svg/AppIcon.svg
      DEPENDS ${PROJECT_SOURCE_DIR}/resources/svg/AppIcon.svg VERBATIM)
    list(APPEND pictures ${png})
  endforeach()
  set(ORVELLA_ICON_FILE ${dir}/orvella.ico)
  add_custom_command(OUTPUT ${ORVELLA_ICON_FILE}
    COMMAND /usr/bin/python3 ${ORVELLA_WIN32_PACKAGING_DIR}/make_icon.py ${ORVELLA_ICON_FILE} ${pictures}
    DEPENDS ${ORVELLA_WIN32_PACKAGING_DIR}/make_icon.py ${pictures} VERBATIM)

  set(ORVELLA_MANIFEST_FILE ${dir}/orvella.manifest)
  configure_file(${ORVELLA_WIN32_PACKAGING_DIR}/orvella.manifest.in ${ORVELLA_MANIFEST_FILE} @ONLY)
  configure_file(${ORVELLA_WIN32_PACKAGING_DIR}/orvella.rc.in ${dir}/orvella.rc @ONLY)
  set_source_files_properties(${dir}/orvella.rc PROPERTIES OBJECT_DEPENDS "${ORVELLA_ICON_FILE};${ORVELLA_MANIFEST_FILE}")
  target_sources(${target} PRIVATE ${dir}/orvella.rc)
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE TRUE)
  set(ORVELLA_WIN32_ICON_FILE ${ORVELLA_ICON_FILE} CACHE INTERNAL "The application icon, for the MSI")
endfunction()
