# Checks the sources against the layer table (ParvolinLayers.cmake): every quoted include of a
# file under src/ names a layer the including file's layer may use, core layers include no Qt
# header, and the libraries link only what the table allows (core libraries no Qt at all).
#
#   cmake -DSOURCE_DIR=<src folder> [-DLINKS_FILE=<file>] -P CheckLayers.cmake
#
# LINKS_FILE holds one line per library, "<layer>=<what it links, comma-separated>", as the build
# writes it. Prints every violation and fails when there is one.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ParvolinLayers.cmake)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: SOURCE_DIR is not set")
endif()

# The layers a layer may use, itself included.
function(allowed_layers layer out)
  if(layer MATCHES "^(.+)_ui$")
    set(core ${CMAKE_MATCH_1})
    set(allowed ${layer} ${core} ${PARVOLIN_USES_${core}})
    foreach(ui IN LISTS PARVOLIN_UI_USES_${core})
      list(APPEND allowed ${ui}_ui ${ui} ${PARVOLIN_USES_${ui}})
    endforeach()
  else()
    set(allowed ${layer} ${PARVOLIN_USES_${layer}})
  endif()
  set(${out} ${allowed} PARENT_SCOPE)
endfunction()

# The layer of a path relative to src/ ("engine/engine.h", "app/ui/window.h"), or "" when its
# folder is no layer.
function(layer_of relative out)
  set(layer "")
  if(relative MATCHES "^([a-z_]+)/ui/")
    if(CMAKE_MATCH_1 IN_LIST PARVOLIN_UI_LAYERS)
      set(layer ${CMAKE_MATCH_1}_ui)
    endif()
  elseif(relative MATCHES "^([a-z_]+)/")
    if(CMAKE_MATCH_1 IN_LIST PARVOLIN_CORE_LAYERS)
      set(layer ${CMAKE_MATCH_1})
    endif()
  endif()
  set(${out} "${layer}" PARENT_SCOPE)
endfunction()

set(violations "")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
list(SORT sources)
file(GLOB folders RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY ${SOURCE_DIR}/${folder} AND NOT folder IN_LIST PARVOLIN_CORE_LAYERS
     AND NOT folder IN_LIST PARVOLIN_UI_LAYERS)
    list(APPEND violations "src/${folder}/ is not in the layer table (cmake/ParvolinLayers.cmake)")
  endif()
endforeach()

foreach(source IN LISTS sources)
  layer_of(${source} layer)
  if(NOT layer)
    if(source MATCHES "^[a-z_]+/ui/")
      list(APPEND violations "src/${source}: its folder is not a ui layer of the table")
    endif()
    continue()
  endif()
  allowed_layers(${layer} allowed)
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      layer_of(${header} used)
      if(used AND NOT used IN_LIST allowed)
        list(APPEND violations
             "src/${source}: includes ${header}, a header of ${used}, which ${layer} may not use")
      endif()
    elseif(NOT layer MATCHES "_ui$" AND line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z0-9_/]*(\\.h)?)>")
      list(APPEND violations "src/${source}: includes the Qt header ${CMAKE_MATCH_1} in core layer ${layer}")
    endif()
  endforeach()
endforeach()

if(LINKS_FILE)
  file(STRINGS ${LINKS_FILE} links)
  foreach(entry IN LISTS links)
    if(NOT entry MATCHES "^([a-z_]+)=(.*)$")
      continue()
    endif()
    set(layer ${CMAKE_MATCH_1})
    string(REPLACE "," ";" linked "${CMAKE_MATCH_2}")
    allowed_layers(${layer} allowed)
    foreach(library IN LISTS linked)
      if(library MATCHES "^parvolin_([a-z_]+)$")
        if(NOT CMAKE_MATCH_1 IN_LIST allowed)
          list(APPEND violations "parvolin_${layer} links ${library}, which ${layer} may not use")
        endif()
      elseif(library MATCHES "Qt" AND NOT layer MATCHES "_ui$")
        list(APPEND violations "parvolin_${layer} is a core library and links ${library}")
      endif()
    endforeach()
  endforeach()
endif()

list(LENGTH violations count)
if(count GREATER 0)
  foreach(violation IN LISTS violations)
    message("layer violation: ${violation}")
  endforeach()
  message(FATAL_ERROR "${count} layer violation(s)")
endif()
list(LENGTH sources checked)
message("layers: ${checked} sources follow the layer table")
