# Layers: each top-level folder is a layer, built by one or more targets that link only the
# layers beneath them.
#
# quovis_layer(NAME SOURCES ... DEPS ... PRIVATE_DEPS ...) declares a layer's library. A layer
# without sources yet is an INTERFACE target so the dependency graph exists from the start.
#
# At the end of configuration the graph those links make is written to QUOVIS_LAYER_GRAPH,
# which the layering test (cmake/CheckLayers.cmake) reads: there is no second, hand-written
# layer order to keep in step with the targets.
function(quovis_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  if(L_SOURCES)
    add_library(quovis_${name} STATIC ${L_SOURCES})
    target_include_directories(quovis_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(quovis_${name} PUBLIC ${L_DEPS} PRIVATE ${L_PRIVATE_DEPS})
  else()
    add_library(quovis_${name} INTERFACE)
    target_include_directories(quovis_${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(quovis_${name} INTERFACE ${L_DEPS})
  endif()
endfunction()

set(QUOVIS_LAYER_GRAPH ${CMAKE_BINARY_DIR}/quovis_layer_graph.cmake)

# Folders that sit above every layer: each of their programs links what it tests, measures or
# fuzzes, and they share helpers among themselves (bench uses the tests' clock and peers).
# Their includes are not judged; a layer including one of their headers is.
set(QUOVIS_CLIENT_FOLDERS tests bench fuzz)

# ---- The graph -----------------------------------------------------------------------------

# The project target an entry of a link list names, or "" for anything else (system and
# imported libraries, linker flags). A generator expression counts as the target it names
# last: a dependency some configurations add is still a dependency.
function(_quovis_project_target item out)
  set(name "${item}")
  if(name MATCHES "^\\$<.*:([^:<>]+)>$")
    set(name "${CMAKE_MATCH_1}")
  endif()
  set(${out} "" PARENT_SCOPE)
  if(NOT TARGET "${name}")
    return()
  endif()
  get_target_property(aliased "${name}" ALIASED_TARGET)
  if(aliased)
    set(name "${aliased}")
  endif()
  get_target_property(imported "${name}" IMPORTED)
  if(NOT imported)
    set(${out} "${name}" PARENT_SCOPE)
  endif()
endfunction()

# The project targets `target` may use: the ones it links itself, then, transitively, the
# public link interface of each ($<LINK_ONLY:...> marks a private dependency of a static
# library, linked into the program but not offered to its users).
function(_quovis_link_closure target out)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(queue ${target} INTERFACE_LINK_LIBRARIES)
  else()
    get_target_property(queue ${target} LINK_LIBRARIES)
  endif()
  if(NOT queue)
    set(queue "")
  endif()
  set(closure "")
  while(queue)
    list(POP_FRONT queue item)
    _quovis_project_target("${item}" dep)
    if(NOT dep OR dep IN_LIST closure)
      continue()
    endif()
    list(APPEND closure ${dep})
    get_target_property(interface ${dep} INTERFACE_LINK_LIBRARIES)
    if(NOT interface)
      continue()
    endif()
    foreach(next IN LISTS interface)
      if(NOT next MATCHES "^\\$<LINK_ONLY:")
        list(APPEND queue "${next}")
      endif()
    endforeach()
  endwhile()
  set(${out} ${closure} PARENT_SCOPE)
endfunction()

# The top-level folder a target is declared in ("" for the top level itself).
function(_quovis_target_folder target out)
  get_target_property(dir ${target} SOURCE_DIR)
  file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${dir}")
  string(REGEX REPLACE "/.*" "" folder "${rel}")
  set(${out} "${folder}" PARENT_SCOPE)
endfunction()

function(_quovis_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _quovis_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Writes, for every layer folder, the folders its sources may include: its own, and the
# folder of every project target that a target declared in it links (transitively). A
# folder without targets (a layer whose code has not arrived) may include only itself.
function(_quovis_write_layer_graph)
  get_property(subdirs DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
  set(layers "")
  foreach(sub IN LISTS subdirs)
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${sub}")
    if(NOT folder IN_LIST QUOVIS_CLIENT_FOLDERS)
      list(APPEND layers ${folder})
      set(allowed_${folder} ${folder})
      set(why_${folder} "")
    endif()
  endforeach()

  _quovis_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    _quovis_target_folder(${target} folder)
    if(NOT folder IN_LIST layers)
      continue()
    endif()
    _quovis_link_closure(${target} deps)
    string(REPLACE ";" " " deps_text "${deps}")
    list(APPEND why_${folder} "${target} -> ${deps_text}")
    foreach(dep IN LISTS deps)
      _quovis_target_folder(${dep} dep_folder)
      if(dep_folder AND NOT dep_folder IN_LIST allowed_${folder})
        list(APPEND allowed_${folder} ${dep_folder})
      endif()
    endforeach()
  endforeach()

  set(text "# Written by cmake/Layers.cmake from the targets' link dependencies; read by\n")
  string(APPEND text "# cmake/CheckLayers.cmake. Do not edit: change the targets' links instead.\n")
  string(APPEND text "set(QUOVIS_LAYERS ${layers})\n")
  foreach(folder IN LISTS layers)
    foreach(line IN LISTS why_${folder})
      string(APPEND text "#   ${line}\n")
    endforeach()
    string(APPEND text "set(QUOVIS_LAYER_ALLOWED_${folder} ${allowed_${folder}})\n")
  endforeach()
  # Written only when it changed, so an unchanged graph does not touch the file.
  file(CONFIGURE OUTPUT ${QUOVIS_LAYER_GRAPH} CONTENT "${text}" @ONLY)
endfunction()

# Every target and link exists only once the whole tree has been read.
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _quovis_write_layer_graph)
