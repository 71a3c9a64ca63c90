# run(COMMAND ... [WORKING_DIRECTORY dir] [INPUT_FILE file] [OUTPUT var]
#     [STDOUT_ONLY]): runs the command in dir (default WORK_DIR) and stops the
# script with its output if it fails. OUTPUT gets what it printed, its errors
# too unless STDOUT_ONLY. For the tests' CMake scripts (cmake -P).
function(run)
  cmake_parse_arguments(RUN "STDOUT_ONLY" "WORKING_DIRECTORY;INPUT_FILE;OUTPUT" "COMMAND" ${ARGN})
  if(NOT RUN_WORKING_DIRECTORY)
    set(RUN_WORKING_DIRECTORY ${WORK_DIR})
  endif()
  set(input)
  if(RUN_INPUT_FILE)
    set(input INPUT_FILE ${RUN_INPUT_FILE})
  endif()
  if(RUN_STDOUT_ONLY)
    set(errors_to errors)
  else()
    set(errors_to output)
  endif()
  set(errors)
  execute_process(COMMAND ${RUN_COMMAND} WORKING_DIRECTORY ${RUN_WORKING_DIRECTORY} ${input}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE ${errors_to})
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " shown "${RUN_COMMAND}")
    message(FATAL_ERROR "Failed (${result}): ${shown}\n${output}${errors}")
  endif()
  if(RUN_OUTPUT)
    set(${RUN_OUTPUT} "${output}" PARENT_SCOPE)
  endif()
endfunction()
