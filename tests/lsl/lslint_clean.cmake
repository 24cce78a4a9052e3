# Runs lslint over each script and fails on any error or warning, naming the script and line.
# SCRIPTS holds the script paths, separated by "|".
string(REPLACE "|" ";" scripts "${SCRIPTS}")
foreach(script IN LISTS scripts)
  execute_process(COMMAND "${LSLINT}" "${script}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  string(APPEND out "${err}")
  if(NOT result EQUAL 0 OR out MATCHES "(ERROR|WARN)::")
    message(SEND_ERROR "${script}:\n${out}")
  else()
    message(STATUS "${script}: no error, no warning")
  endif()
endforeach()
