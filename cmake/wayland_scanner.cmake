# Runs wayland-scanner (SCANNER MODE XML OUT) and passes on what it prints, except its notes
# that a definition's "since" versions do not increase: those are about a protocol file we take
# as a desktop installs it (KWin's), not about our build, and change nothing in the code made.
execute_process(COMMAND "${SCANNER}" "${MODE}" "${XML}" "${OUT}" RESULT_VARIABLE result
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "[^\n]*: warning: since version not increasing\n" "" err "${err}")
if(out OR err)
    message("${out}${err}")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "wayland-scanner ${MODE} ${XML} failed (${result})")
endif()
