# Checks the folder layering of the product code: every #include "folder/..."
# between top-level folders must be one the table below allows. The table is
# the architecture, bottom to top; since each folder may only use folders
# listed before it, the include graph cannot have a cycle.
#
# Run as: cmake -DSOURCE_DIR=<top of the tree> -P CheckLayers.cmake

set(layers core raster http live services geocode job export hosts batch ui)
set(allowed_core "")
set(allowed_raster core)
set(allowed_http core)
set(allowed_live core http)
set(allowed_services core live)
set(allowed_geocode core http)
set(allowed_job core raster http)
set(allowed_export core raster)
set(allowed_hosts core job services live)
set(allowed_batch core raster job export hosts live)
set(allowed_ui core raster http live geocode job export hosts)

set(failures 0)
foreach(folder ${layers})
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source ${sources})
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[A-Za-z0-9_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([A-Za-z0-9_]+)/.*" "\\1" target "${line}")
      if(target STREQUAL folder)
        continue()
      endif()
      list(FIND allowed_${folder} "${target}" index)
      if(index EQUAL -1)
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
        message("${shown}: ${folder}/ must not include ${target}/ (${line})")
        math(EXPR failures "${failures} + 1")
      endif()
    endforeach()
  endforeach()
  # Each layer lists only layers below it.
  foreach(below ${allowed_${folder}})
    list(FIND layers "${below}" below_index)
    list(FIND layers "${folder}" folder_index)
    if(below_index EQUAL -1 OR NOT below_index LESS folder_index)
      message("The layer table lets ${folder}/ use ${below}/, which is not below it.")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} include(s) break the folder layering.")
endif()
message("Folder layering holds: ${layers}")
