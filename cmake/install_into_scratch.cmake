# For the install tests (cmake -P scripts): installs one component of the
# build in BUILD_DIR into a fresh PREFIX, stops the test when that fails,
# and puts what cmake --install said into `output`.
function(install_into_scratch component output)
  file(REMOVE_RECURSE ${PREFIX})
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                          --component ${component}
                  RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${said}")
  endif()
  set(${output} "${said}" PARENT_SCOPE)
endfunction()
