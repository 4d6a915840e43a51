# Fails naming every source of a layer that includes a header of a folder the layer's targets
# do not link. Which folders each layer may include comes from the graph cmake/Layers.cmake
# writes at configure time from the targets' own link dependencies: a layer's own folder and
# the folders of the targets it links, transitively.
# Run as: cmake -DSOURCE_DIR=<repo> -DLAYER_GRAPH=<build>/quovis_layer_graph.cmake -P CheckLayers.cmake
#
# Sources built only in some configurations (the Qt parts) are judged by the graph of the
# configuration at hand; the test runs in builds with and without Qt.
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${LAYER_GRAPH}")
  message(FATAL_ERROR "No layer graph at '${LAYER_GRAPH}': configure the build first.")
endif()
include("${LAYER_GRAPH}")
if(NOT QUOVIS_LAYERS)
  message(FATAL_ERROR "The layer graph ${LAYER_GRAPH} names no layers.")
endif()

set(violations "")
set(checked 0)
foreach(layer IN LISTS QUOVIS_LAYERS)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp"
       "${SOURCE_DIR}/${layer}/*.inc")
  string(REPLACE ";" ", " allowed_text "${QUOVIS_LAYER_ALLOWED_${layer}}")
  foreach(f IN LISTS files)
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${f}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"/]+)/.*" "\\1" folder "${line}")
      # Only the project's own folders are judged; the layer's own and the ones it links pass.
      if(NOT IS_DIRECTORY "${SOURCE_DIR}/${folder}" OR folder IN_LIST QUOVIS_LAYER_ALLOWED_${layer})
        continue()
      endif()
      file(RELATIVE_PATH rel "${SOURCE_DIR}" "${f}")
      string(APPEND violations
             "  ${rel}: includes ${folder}/, but ${layer}/ may include only ${allowed_text}\n")
    endforeach()
  endforeach()
endforeach()

# The engine must stay free of Qt.
file(GLOB_RECURSE engine_files "${SOURCE_DIR}/engine/*.h" "${SOURCE_DIR}/engine/*.cpp"
     "${SOURCE_DIR}/base/*.h" "${SOURCE_DIR}/base/*.cpp")
foreach(f IN LISTS engine_files)
  file(STRINGS "${f}" qt REGEX "^[ \t]*#[ \t]*include[ \t]+<Q")
  if(qt)
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${f}")
    string(APPEND violations "  ${rel}: engine and base code may not use Qt\n")
  endif()
endforeach()

if(violations)
  message(FATAL_ERROR "Layering violations (the allowed folders follow the targets' links):\n"
                      "${violations}")
endif()
if(checked EQUAL 0)
  message(FATAL_ERROR "No sources found under ${SOURCE_DIR} in the layers ${QUOVIS_LAYERS}.")
endif()
string(REPLACE ";" " " layers_text "${QUOVIS_LAYERS}")
message(STATUS "layering ok: ${checked} files in the layers ${layers_text}")
