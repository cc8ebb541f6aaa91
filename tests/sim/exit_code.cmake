# Runs PROGRAM (through EMULATOR on cross builds) with a bad option and a bad value; each must exit with 2.
foreach(args "--no-such-option" "--trackers;0" "--protocol;sctp" "surplus" "--seed;-1"
             "--network-down-every;soon")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${args} RESULT_VARIABLE code OUTPUT_QUIET ERROR_QUIET)
  if(NOT code EQUAL 2)
    message(FATAL_ERROR "mstar-sim ${args}: exit code ${code}, expected 2")
  endif()
endforeach()
