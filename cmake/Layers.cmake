# quovis_layer(NAME SOURCES ... DEPS ...) declares one layer library. A layer without
# sources yet is an INTERFACE target so the dependency graph exists from the start.
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
