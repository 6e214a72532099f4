# orvella_embed_pictures(TARGET): the pictures are drawn as SVG in svg/ and
# turned into PNG at build time; the PNGs are embedded in TARGET as Qt
# resources under their names without extension (":/NOTIFICATION_0",
# ":/Emblem", ":/Menu3", ":/AppIcon32" ...).
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(ORVELLA_PICTURE_DIR ${CMAKE_CURRENT_LIST_DIR}/svg)

# One PNG from svg/SVG.svg, named NAME, SIZE pixels square or the drawing's own size.
function(orvella_picture svg name size)
  set(png ${CMAKE_CURRENT_BINARY_DIR}/png/${name}.png)
  set(size_args)
  if(size)
    set(size_args -w ${size} -h ${size})
  endif()
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/png
    COMMAND ${RSVG_CONVERT} ${size_args} -o ${png} ${ORVELLA_PICTURE_DIR}/${svg}.svg
    DEPENDS ${ORVELLA_PICTURE_DIR}/${svg}.svg
    VERBATIM)
  set_source_files_properties(${png} PROPERTIES GENERATED TRUE QT_RESOURCE_ALIAS ${name})
  set(png_files ${png_files} ${png} PARENT_SCOPE)
endfunction()

function(orvella_embed_pictures target)
  set(png_files)
  foreach(name NOTIFICATION_0 NOTIFICATION_1 NOTIFICATION_2 NOTIFICATION_3 NOTIFICATION_4 NOTIFICATION_5
               Emblem CloseNormal CloseHot Menu0 Menu1 Menu2 Menu3 Menu4 Menu5)
    orvella_picture(${name} ${name} "")
  endforeach()
  foreach(size 16 32 64 256)
    orvella_picture(AppIcon AppIcon${size} ${size})
  endforeach()
  qt_add_resources(${target} pictures PREFIX "/" FILES ${png_files})
endfunction()
