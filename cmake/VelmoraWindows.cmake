# Pictures and resources of the Windows build. It has no SVG module: the host renders the SVG
# files to PNG images (rsvg-convert) and makes the program's icon from them (ImageMagick).
find_program(VELMORA_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(VELMORA_IMAGEMAGICK NAMES convert REQUIRED)

# Renders `svg` to `png` at `size` x `size` pixels when the picture is missing or older; the
# build is configured anew when the SVG file changes.
function(velmora_render_svg svg png size)
  if(NOT EXISTS ${png} OR ${svg} IS_NEWER_THAN ${png})
    get_filename_component(folder ${png} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${VELMORA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "rsvg-convert could not render ${svg}")
    endif()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${svg})
endfunction()

# The program icon, from the logo at the sizes Explorer and the task bar ask for.
set(VELMORA_ICON ${PROJECT_BINARY_DIR}/windows/velmora.ico)
set(logo ${PROJECT_SOURCE_DIR}/assets/logo.svg)
set(icon_pictures "")
foreach(size 16 24 32 48 256)
  velmora_render_svg(${logo} ${PROJECT_BINARY_DIR}/windows/logo-${size}.png ${size})
  list(APPEND icon_pictures logo-${size}.png)
endforeach()
if(NOT EXISTS ${VELMORA_ICON} OR ${logo} IS_NEWER_THAN ${VELMORA_ICON})
  execute_process(COMMAND ${VELMORA_IMAGEMAGICK} ${icon_pictures} velmora.ico
                  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/windows RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "ImageMagick could not make velmora.ico")
  endif()
endif()

# Gives the program `target` the icon and a version resource describing it as `description`.
function(velmora_windows_resource target description)
  set(VELMORA_RC_NAME ${target})
  set(VELMORA_RC_DESCRIPTION ${description})
  set(rc ${PROJECT_BINARY_DIR}/windows/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/velmora.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
