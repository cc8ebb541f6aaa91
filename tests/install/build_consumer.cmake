# Configures and builds the project SOURCE in BINARY against the MotionStar
# package installed in PREFIX, with the compiler, flags and toolchain of the
# build under test. With EXPECT_FAILURE (a regular expression), the configure
# step must fail with output that matches it.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${BINARY})
set(args -S ${SOURCE} -B ${BINARY} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_CXX_COMPILER=${COMPILER} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}"
  "-DCMAKE_MODULE_LINKER_FLAGS=${MODULE_LINKER_FLAGS}")
if(MAKE_PROGRAM)
  list(APPEND args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(TOOLCHAIN)
  list(APPEND args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
if(LAUNCHER)
  list(APPEND args -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
# A cross toolchain searches only its own root for packages: name the package
# folder itself there. Natively the prefix is searched as a user would.
if(CROSSCOMPILING)
  list(APPEND args -DMotionStar_DIR=${PACKAGE_DIR})
else()
  list(APPEND args -DCMAKE_PREFIX_PATH=${PREFIX})
endif()

execute_process(COMMAND ${CMAKE_COMMAND} ${args}
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(DEFINED EXPECT_FAILURE)
  if(rc EQUAL 0)
    message(FATAL_ERROR "configured although it should not have:\n${output}")
  endif()
  string(REGEX REPLACE "[ \t\r\n]+" " " flat "${output}")
  if(NOT flat MATCHES "${EXPECT_FAILURE}")
    message(FATAL_ERROR "failed without saying \"${EXPECT_FAILURE}\":\n${output}")
  endif()
  message(STATUS "refused as expected:\n${output}")
  return()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configure failed:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY}
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "build failed:\n${output}")
endif()
message(STATUS "${output}")
