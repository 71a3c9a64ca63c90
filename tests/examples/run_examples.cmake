# Run by CTest (see CMakeLists.txt beside this file), and by the package test
# against the installed packages: builds examples/ against the Zolt that
# PREFIX_PATH names (empty: the system's) and runs the hosts against the
# slaves. With PYTHON, the Python examples too: from a virtual environment
# made here when VENV is ON, else with that interpreter as it is.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../run_command.cmake)

# What every host of examples/ prints against its slave.
set(expected
"reply: Hello, world
notification: greeted world
close: status 0, Bye
")
function(expect_output what actual)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what} printed:\n${actual}\nexpected:\n${expected}")
  endif()
endfunction()

# The README shows these files whole: what a newcomer pastes is what runs here.
file(READ ${SOURCE_DIR}/README.md readme)
foreach(example greeter.c host.c python/greeter.py python/host.py)
  file(READ ${SOURCE_DIR}/examples/${example} text)
  string(FIND "${readme}" "\n${text}```" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "The README does not show examples/${example} as it is, in a block of its own")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
unset(ENV{LD_LIBRARY_PATH})
unset(ENV{CMAKE_PREFIX_PATH})
unset(ENV{PYTHONPATH})
# Object names are global: the slaves run under names of this run's own.
string(RANDOM LENGTH 8 ALPHABET abcdefghijklmnopqrstuvwxyz tag)

# Warnings are errors here, though a newcomer's build keeps its defaults.
set(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/c
    "-DCMAKE_C_FLAGS=-Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wno-sign-conversion")
if(GENERATOR)
  list(APPEND configure -G ${GENERATOR})
endif()
if(C_COMPILER)
  list(APPEND configure -DCMAKE_C_COMPILER=${C_COMPILER})
endif()
if(PREFIX_PATH)
  list(APPEND configure -DCMAKE_PREFIX_PATH=${PREFIX_PATH})
endif()
run(COMMAND ${configure})
run(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/c)
file(CREATE_LINK ${WORK_DIR}/c/Greeter ${WORK_DIR}/Greeter${tag} SYMBOLIC)
run(COMMAND ${WORK_DIR}/c/host ${WORK_DIR}/Greeter${tag} OUTPUT output STDOUT_ONLY)
expect_output("The C host with the kit's slave" "${output}")

if(NOT PYTHON)
  return()
endif()
set(python ${PYTHON})
if(VENV)
  # As the Python guide says: a virtual environment with the package in it,
  # installed offline by its own build backend.
  run(COMMAND ${PYTHON} -m venv ${WORK_DIR}/venv)
  run(COMMAND ${WORK_DIR}/venv/bin/pip install --no-index --quiet ${SOURCE_DIR}/python)
  set(python ${WORK_DIR}/venv/bin/python)
endif()
run(COMMAND ${python} -m zolt.launcher ${SOURCE_DIR}/examples/python/greeter.py ${WORK_DIR}/PyGreeter${tag})
# The host finds no python3 on its PATH at all: the slave starts all the same,
# under the interpreter its launcher names.
set(ENV{PATH} /nonexistent)
if(LIBRARY)
  set(ENV{ZOLT_LIBRARY} ${LIBRARY})
endif()
run(COMMAND ${python} ${SOURCE_DIR}/examples/python/host.py ${WORK_DIR}/PyGreeter${tag} OUTPUT output STDOUT_ONLY)
expect_output("The Python host with the Python slave" "${output}")
# And the C host drives the Python slave: slaves of either language are alike.
run(COMMAND ${WORK_DIR}/c/host ${WORK_DIR}/PyGreeter${tag} OUTPUT output STDOUT_ONLY)
expect_output("The C host with the Python slave" "${output}")

file(REMOVE_RECURSE ${WORK_DIR})
