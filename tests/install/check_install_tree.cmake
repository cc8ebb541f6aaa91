# Installs BUILD_DIR into PREFIX (emptied first) and fails unless the files
# there are exactly those of EXPECTED (one path a line, relative to PREFIX)
# plus the source's examples folder under EXAMPLES_DESTINATION, and unless no
# installed CMake or pkg-config file names a path into the source or build
# tree: an install must work wherever it is copied or moved.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
file(STRINGS ${EXPECTED} expected)
file(GLOB_RECURSE examples RELATIVE ${SOURCE_DIR}/examples ${SOURCE_DIR}/examples/*)
foreach(example ${examples})
  list(APPEND expected ${EXAMPLES_DESTINATION}/${example})
endforeach()

set(missing ${expected})
list(REMOVE_ITEM missing ${installed})
set(unexpected ${installed})
list(REMOVE_ITEM unexpected ${expected})
if(missing OR unexpected)
  list(JOIN missing "\n  " missing)
  list(JOIN unexpected "\n  " unexpected)
  message(FATAL_ERROR "install tree differs from the expected list\n"
    "missing:\n  ${missing}\nnot expected:\n  ${unexpected}")
endif()
list(LENGTH installed count)
message(STATUS "${count} files installed, as expected")

# The source folder is named too: the build folder often lies inside it.
foreach(file ${installed})
  if(file MATCHES "\\.(cmake|pc)$")
    file(READ ${PREFIX}/${file} content)
    foreach(tree ${BUILD_DIR} ${SOURCE_DIR} ${PREFIX})
      string(FIND "${content}" "${tree}" at)
      if(NOT at EQUAL -1)
        message(FATAL_ERROR "${file} names ${tree}")
      endif()
    endforeach()
  endif()
endforeach()
