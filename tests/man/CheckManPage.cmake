# Checks that a program's manual page and its --help text list the same
# options: every "--option" at the start of a --help line must be a tagged
# paragraph of the page (a line starting with \fB\-\-option), and the other
# way round.
#
# Run as: cmake -DPROGRAM=<program> -DPAGE=<roff source> -P CheckManPage.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE result TIMEOUT 20)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${result}")
endif()
string(REGEX MATCHALL "\n[ \t]+--[A-Za-z0-9][-A-Za-z0-9]*" help_options "\n${help}")
list(TRANSFORM help_options REPLACE "^\n[ \t]+" "")

file(STRINGS ${PAGE} page_lines REGEX "^\\\\fB\\\\-")
set(page_options "")
foreach(line ${page_lines})
  string(REGEX MATCH "^\\\\fB(\\\\-)+[A-Za-z0-9](\\\\-|[A-Za-z0-9])*" option "${line}")
  string(REPLACE "\\fB" "" option "${option}")
  string(REPLACE "\\-" "-" option "${option}")
  list(APPEND page_options ${option})
endforeach()

if(NOT help_options)
  message(FATAL_ERROR "${PROGRAM} --help lists no options")
endif()
set(failures "")
foreach(option ${help_options})
  if(NOT option IN_LIST page_options)
    string(APPEND failures "  ${option} is in --help but not in ${PAGE}\n")
  endif()
endforeach()
foreach(option ${page_options})
  if(NOT option IN_LIST help_options)
    string(APPEND failures "  ${option} is in ${PAGE} but not in --help\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "Options out of step:\n${failures}")
endif()
list(LENGTH help_options count)
message("${count} options in step: ${help_options}")
