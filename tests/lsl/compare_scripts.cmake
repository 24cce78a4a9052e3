# Fails when a committed script differs from the one written from its template at build time.
# NAMES holds the file names, separated by "|".
string(REPLACE "|" ";" names "${NAMES}")
set(stale "")
foreach(name IN LISTS names)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${COMMITTED_DIR}/${name}" "${GENERATED_DIR}/${name}"
                  RESULT_VARIABLE differs)
  if(differs)
    list(APPEND stale "${COMMITTED_DIR}/${name}")
  endif()
endforeach()
if(stale)
  string(REPLACE ";" "\n  " stale "${stale}")
  message(FATAL_ERROR "Not what lsl/printer.lsl.in gives today:\n  ${stale}\n"
                      "Write them again with: cmake --build build --target lsl_update")
endif()
