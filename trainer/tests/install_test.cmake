# Installs the trainer into a scratch prefix and checks that the help page
# and its pictures lie where the installed program looks for them.
# usage: cmake -D BUILD_DIR=... -D PREFIX=... -D BINDIR=... -D HELP_FROM_PROGRAM=...
#              -P install_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/install_into_scratch.cmake)
install_into_scratch(tapmora output)
set(program ${PREFIX}/${BINDIR}/tapmora)
cmake_path(SET help NORMALIZE ${PREFIX}/${BINDIR}/${HELP_FROM_PROGRAM})
set(page ${help}/index.html)
foreach(file IN ITEMS ${program} ${page} ${help}/keyboard.png ${help}/keyboard@2x.png)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}\n${output}")
  endif()
endforeach()
file(READ ${page} html)
if(NOT html MATCHES "<html lang=\"ja\">")
  message(FATAL_ERROR "${page} is not the Japanese help page")
endif()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed ${program} and ${page}")
