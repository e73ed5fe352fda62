# Converts the example mesh to OBJ text and a matrix side file and shows where they went.
#   cmake -DQUILLOUT=<quillout> -DEXAMPLE_MSH=<example.msh> -DOUT_DIR=<dir> -P run_example.cmake
file(MAKE_DIRECTORY "${OUT_DIR}")
set(obj "${OUT_DIR}/example.obj")
set(side "${OUT_DIR}/example.matrix")

execute_process(COMMAND "${QUILLOUT}" "${EXAMPLE_MSH}" "${obj}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "quillout ${EXAMPLE_MSH} ${obj} failed with status ${status}")
endif()

file(READ "${obj}" objHead LIMIT 400)
message(STATUS "quillout ${EXAMPLE_MSH} -> ${obj}\n${objHead}...")
file(READ "${side}" sideText)
message(STATUS "matrix side file -> ${side}\n${sideText}")
