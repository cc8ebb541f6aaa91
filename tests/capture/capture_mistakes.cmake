# Runs PROGRAM (mstar-sim, through EMULATOR on cross builds) with capture
# options that cannot work: usage errors exit with 2, a file it cannot
# replay with 1 and a message that names the file and why.
foreach(args "--speed;2" "--loop" "--replay;x;--speed;0")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${args} RESULT_VARIABLE code OUTPUT_QUIET
                  ERROR_QUIET)
  if(NOT code EQUAL 2)
    message(FATAL_ERROR "mstar-sim ${args}: exit code ${code}, expected 2")
  endif()
endforeach()
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --replay ${NOT_A_CAPTURE} RESULT_VARIABLE code
                OUTPUT_QUIET ERROR_VARIABLE message)
if(NOT code EQUAL 1 OR NOT message MATCHES "^mstar-sim: .*CMakeLists.txt: cannot be read as a packet capture \\(")
  message(FATAL_ERROR "mstar-sim --replay ${NOT_A_CAPTURE}: exit code ${code}, message: ${message}")
endif()
