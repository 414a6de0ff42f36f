# The build's include check on small trees: a front end that includes the other front end's
# header, or the shared rules that include a front end's, are refused; the allowed includes pass.
#   CHECK  the check script         WORK  a scratch folder
cmake_minimum_required(VERSION 3.25)

function(tree name)
  file(REMOVE_RECURSE ${WORK}/${name})
  foreach(file_and_text IN LISTS ARGN)
    string(REPLACE "=" ";" parts "${file_and_text}")
    list(GET parts 0 file)
    list(GET parts 1 text)
    file(WRITE ${WORK}/${name}/${file} "${text}\n")
  endforeach()
endfunction()

function(expect name outcome)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK}/${name} "-DLIBRARY=host;binx" -DSTAMP=${WORK}/${name}.stamp -P ${CHECK}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(outcome STREQUAL "passes" AND NOT status EQUAL 0)
    message(FATAL_ERROR "${name} refused:\n${errors}")
  elseif(outcome STREQUAL "refused" AND status EQUAL 0)
    message(FATAL_ERROR "${name} passed")
  endif()
endfunction()

tree(allowed "python/src/A.cpp=#include <services/S.h>" "tools/B.cpp=#include <generators/G.h>" "services/S.h=#include <binx/F.h>"
  "binx/F.h=#include <host/H.h>" "tests/T.cpp=#include <tools/B.h>")
expect(allowed passes)
tree(python_takes_tool "python/src/A.cpp=#include <tools/Output.h>")
expect(python_takes_tool refused)
tree(tool_takes_python "tools/B.cpp=#include \"python/src/RecordTable.h\"")
expect(tool_takes_python refused)
tree(services_take_tool "services/S.cpp=#include <tools/Context.h>")
expect(services_take_tool refused)
tree(python_takes_generator "python/src/A.cpp=#include <generators/SampleSurvey.h>")
expect(python_takes_generator refused)
tree(library_takes_services "binx/F.cpp=#include <services/S.h>")
expect(library_takes_services refused)
