# Writes pelmarcab's manual page (with help2man) and its bash completion
# from the program's own --help, so both always match the options it has.
# usage: cmake -D PROGRAM=... -D HELP2MAN=... -D VERSION=... -D MAN_PAGE=...
#              -D COMPLETION=... -D TEMPLATE=... -P make_docs.cmake

function(run_help out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help RESULT_VARIABLE result
                  OUTPUT_VARIABLE text ERROR_VARIABLE text)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed:\n${text}")
  endif()
  string(REPLACE "${PROGRAM}" "pelmarcab" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The subcommands, as the main help lists them under "Subcommands:".
run_help(main_help)
string(REGEX REPLACE ".*\nSubcommands:\n" "" listing "${main_help}")
string(REGEX MATCHALL "(^|\n)  [a-z][a-z0-9-]*" commands "${listing}")
string(REGEX REPLACE "[\n ]" "" commands "${commands}")

# Each subcommand's options; those followed by a type name take a value.
set(man_include "[COMMANDS]\n")
set(cases "")
foreach(command IN LISTS commands)
  run_help(help ${command})
  string(REGEX REPLACE "\\\\" "\\\\e" roff "${help}")
  string(REPLACE "-" "\\-" roff "${roff}")
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" roff "${roff}")
  string(APPEND man_include ".SS \"pelmarcab ${command}\"\n.nf\n${roff}.fi\n")

  string(REPLACE ";" "," help "${help}")  # a ';' would split the list below
  string(REGEX MATCHALL "\n  -[^\n]*" lines "${help}")
  set(options "")
  set(valued "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^\n  ([-A-Za-z0-9,]+)( [A-Z][A-Z0-9]*)?" _ "${line}")
    string(REPLACE "," " " names "${CMAKE_MATCH_1}")
    string(APPEND options " ${names}")
    if(CMAKE_MATCH_2 AND NOT CMAKE_MATCH_2 STREQUAL " REQUIRED")
      string(REPLACE " " "|" alternatives "${names}")
      string(APPEND valued "|${alternatives}")
    endif()
  endforeach()
  string(STRIP "${options}" options)
  string(APPEND cases "        ${command}) options=\"${options}\" valued=\"${valued}|\" ;;\n")
endforeach()

file(WRITE ${MAN_PAGE}.h2m "${man_include}")
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr
                        --name "list, test, extract and create cabinet files"
                        --version-string "${VERSION}" --include ${MAN_PAGE}.h2m
                        --output ${MAN_PAGE} ${PROGRAM}
                RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man failed:\n${error}")
endif()

string(REPLACE ";" " " COMMANDS "${commands}")
set(CASES "${cases}")
configure_file(${TEMPLATE} ${COMPLETION} @ONLY)
