# Renders one scdoc page to roff and compresses it the way Debian wants man
# pages: gzip -9 without a name or time stamp. Run by the build; see
# CMakeLists.txt beside this file.
cmake_minimum_required(VERSION 3.25)

get_filename_component(folder ${PAGE} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_VARIABLE roff
  RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "scdoc failed on ${SOURCE}: ${error}")
endif()
# The .TH macro turns hyphenation back on after scdoc's .nh, and hyphenated
# identifiers such as ZOLT_OPEN_SHARED_MEM-ORY_FAILED read badly.
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" roff "${roff}")
file(WRITE ${PAGE} "${roff}")
execute_process(COMMAND ${GZIP} -9 -n -f ${PAGE} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${PAGE}")
endif()
