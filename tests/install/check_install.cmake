# Installs the build into a fresh prefix and converts an example picture with
# the installed command: the command must find its library and resource
# module where the installation put them, with nothing from the build tree.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P check_install.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/quillon include/quillon/quillon.h share/quillon/viewer/quillon-viewer.js)
  if(NOT EXISTS ${WORK_DIR}/prefix/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# The installed command runs in a folder holding files named as the
# libraries it loads: it must not take them for its libraries.
foreach(name libc.so.6 libstdc++.so.6)
  file(WRITE ${WORK_DIR}/${name} "not a library")
endforeach()
file(WRITE ${WORK_DIR}/settings.reg
  "Windows Registry Editor Version 5.00\r\n\r\n"
  "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\r\n@=\"${SOURCE_DIR}/examples/pictures\"\r\n")
execute_process(
  COMMAND ${WORK_DIR}/prefix/bin/quillon --registry ${WORK_DIR}/settings.reg convert
          --output-dir ${WORK_DIR}/out ${SOURCE_DIR}/examples/pictures/Trends.grf
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT EXISTS ${WORK_DIR}/out/Trends.JDF OR NOT EXISTS ${WORK_DIR}/out/Trends.html)
  message(FATAL_ERROR "the installed command failed (${result}):\n${out}\n${err}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
