# Installs pelmarcab into a scratch prefix and checks that the program, its
# manual page and its bash completion lie where man and bash look for them,
# and that the installed completion completes subcommands, options and
# option values.
# usage: cmake -D BUILD_DIR=... -D PREFIX=... -D BINDIR=... -D MANDIR=... -D DATADIR=...
#              -P install_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/install_into_scratch.cmake)
install_into_scratch(pelmarcab output)
set(program ${PREFIX}/${BINDIR}/pelmarcab)
set(page ${PREFIX}/${MANDIR}/man1/pelmarcab.1)
set(completion ${PREFIX}/${DATADIR}/bash-completion/completions/pelmarcab)
foreach(file IN ITEMS ${program} ${page} ${completion})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}\n${output}")
  endif()
endforeach()

execute_process(COMMAND ${program} create --help RESULT_VARIABLE result OUTPUT_VARIABLE help)
if(NOT result EQUAL 0 OR NOT help MATCHES "--exclude")
  message(FATAL_ERROR "the installed ${program} does not run:\n${help}")
endif()
file(READ ${page} man)
foreach(expected IN ITEMS ".TH PELMARCAB \"1\"" ".SS \"pelmarcab create\"" "\\-\\-exclude GLOB"
                          ".SS \"pelmarcab extract\"")
  string(FIND "${man}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${page} lacks ${expected}")
  endif()
endforeach()

# Completes the words given (the last one being typed) with the installed script.
function(expect_completion expected)
  list(LENGTH ARGN count)
  math(EXPR current "${count} - 1")
  list(JOIN ARGN " " words)
  execute_process(COMMAND bash -c "source '${completion}' && COMP_WORDS=(${words}) && \
COMP_CWORD=${current} && _pelmarcab && echo \"\${COMPREPLY[*]}\""
                  RESULT_VARIABLE result OUTPUT_VARIABLE replies ERROR_VARIABLE replies)
  string(STRIP "${replies}" replies)
  if(NOT result EQUAL 0 OR NOT replies MATCHES "${expected}")
    message(FATAL_ERROR "completing \"${words}\" gave \"${replies}\", not ${expected}")
  endif()
endfunction()
expect_completion("^create$" pelmarcab cr)
expect_completion("^--exclude$" pelmarcab create --exc)
expect_completion("^--folder-size$" pelmarcab create -o x.cab --fol)
expect_completion("lzx:21" pelmarcab create -m l)
expect_completion("^--directory$" pelmarcab extract --dir)

file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed ${program}, ${page} and ${completion}")
