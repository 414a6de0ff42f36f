# Run by the build (cmake -P) before the shared rules and the front ends compile: fails when a
# file includes a header of a folder its layer may not use (docs/architecture.md). Every
# target has the project root on its include path, as the library gives it to all that link
# it, so a spelled path such as <tools/X.h> would otherwise compile from anywhere.
#   SOURCE_DIR  the project root          LIBRARY  the library's folders
#   STAMP       touched when all is well
cmake_minimum_required(VERSION 3.25)

set(generators writers sim generators)
# Folders a layer may include, by the first component of the included path.
set(allowed_library ${LIBRARY})
set(allowed_services ${LIBRARY} services)
set(allowed_generators ${LIBRARY} services ${generators})
set(allowed_tools ${LIBRARY} services ${generators} tools)
set(allowed_python ${LIBRARY} services python)
# What each layer holds; tests, benchmarks and fuzz targets may include anything.
set(layers library services generators tools python)
set(folders_library ${LIBRARY})
set(folders_services services)
set(folders_generators ${generators})
set(folders_tools tools)
set(folders_python python/src)

set(project_folders ${LIBRARY} services ${generators} tools python tests bench fuzz)
set(problems)
foreach(layer IN LISTS layers)
  foreach(folder IN LISTS folders_${layer})
    file(GLOB_RECURSE files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(file IN LISTS files)
      file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][A-Za-z_]+/")
      foreach(line IN LISTS includes)
        string(REGEX MATCH "[<\"]([A-Za-z_]+)/" ignored "${line}")
        set(top ${CMAKE_MATCH_1})
        if(top IN_LIST project_folders AND NOT top IN_LIST allowed_${layer})
          file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
          list(JOIN allowed_${layer} ", " allowed)
          list(APPEND problems "${name}: ${line}: the ${layer} layer may include only ${allowed}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n" text)
  message(FATAL_ERROR "includes across layers (docs/architecture.md):\n${text}")
endif()
file(TOUCH ${STAMP})
