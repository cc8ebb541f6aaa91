# Fails unless the library's dynamic symbol table defines exactly the names in
# EXPECTED (comma-separated, sorted).
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line ${lines})
  string(REGEX REPLACE "^.* ([^ ]+)$" "\\1" name "${line}")
  # A coverage build links clang's profile runtime into every library; its
  # names are not the library's.
  if(name MATCHES "^(__llvm_profile_|__start___llvm_prf_|__stop___llvm_prf_|lprof)")
    continue()
  endif()
  list(APPEND names ${name})
endforeach()
list(SORT names)
string(REPLACE "," ";" expected "${EXPECTED}")
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}, expected: ${expected}")
endif()
message(STATUS "exported: ${names}")
