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

# And back: quillin must give the example's .msh bytes again.
if(QUILLIN)
  set(back "${OUT_DIR}/example.msh")
  execute_process(COMMAND "${QUILLIN}" "${obj}" "${back}" "${side}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "quillin ${obj} ${back} ${side} failed with status ${status}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${back}" "${EXAMPLE_MSH}" RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${back} differs from ${EXAMPLE_MSH}")
  endif()
  message(STATUS "quillin ${obj} ${back} ${side}: byte-identical to ${EXAMPLE_MSH}")
endif()
