# Source-based coverage (clang): every instrumented program, test and module
# writes its counts into the build tree, one file per binary (%m merges the
# runs of one binary); the coverage_report target sums them for src/.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "MOTIONSTAR_COVERAGE needs clang (CMAKE_CXX_COMPILER=clang++)")
endif()
set(MOTIONSTAR_PROFILE_DIR ${CMAKE_BINARY_DIR}/profiles)
add_compile_options(-fprofile-instr-generate=${MOTIONSTAR_PROFILE_DIR}/%m.profraw
                    -fcoverage-mapping)
add_link_options(-fprofile-instr-generate=${MOTIONSTAR_PROFILE_DIR}/%m.profraw)

# The tools of the compiler's own version read its profiles.
string(REGEX MATCH "^[0-9]+" clang_major ${CMAKE_CXX_COMPILER_VERSION})
find_program(MOTIONSTAR_LLVM_PROFDATA NAMES llvm-profdata-${clang_major} llvm-profdata REQUIRED)
find_program(MOTIONSTAR_LLVM_COV NAMES llvm-cov-${clang_major} llvm-cov REQUIRED)
# Run after the tests: line and branch coverage of src/, per folder.
add_custom_target(coverage_report
  COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/coverage_report.sh ${MOTIONSTAR_LLVM_PROFDATA}
          ${MOTIONSTAR_LLVM_COV} ${MOTIONSTAR_PROFILE_DIR} ${CMAKE_BINARY_DIR}/bin
          ${PROJECT_SOURCE_DIR}/src
  VERBATIM USES_TERMINAL)
