# The target ertkit_include_layers checks, whenever a checked source changes, that every layer
# includes only the folders it may (CheckIncludeLayers.cmake). The targets of the shared rules,
# the generators and the front ends depend on it, so a front end that includes another front
# end's header fails to build.
set(ertkit_layer_sources)
foreach(folder IN LISTS ERTKIT_FOLDERS ITEMS services writers sim generators tools python/src)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  list(APPEND ertkit_layer_sources ${found})
endforeach()
set(ertkit_layer_stamp ${PROJECT_BINARY_DIR}/include-layers.stamp)
add_custom_command(OUTPUT ${ertkit_layer_stamp}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} "-DLIBRARY=${ERTKIT_FOLDERS}" -DSTAMP=${ertkit_layer_stamp}
    -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeLayers.cmake
  DEPENDS ${ertkit_layer_sources} ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeLayers.cmake
  COMMENT "Checking what each layer includes"
  VERBATIM)
add_custom_target(ertkit_include_layers DEPENDS ${ertkit_layer_stamp})
