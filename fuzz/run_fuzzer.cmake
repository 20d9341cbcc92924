# Runs the fuzzer for SECONDS over a corpus seeded with the reference workbooks.
# cmake -DFUZZER=... -DDATA_DIR=... -DWORK_DIR=... -DSECONDS=30 -P run_fuzzer.cmake
if(NOT EXISTS "${FUZZER}")
  message(FATAL_ERROR "fuzzer not built: ${FUZZER}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/corpus")
file(GLOB seeds "${DATA_DIR}/*.xls" "${DATA_DIR}/*.xlt")
file(COPY ${seeds} DESTINATION "${WORK_DIR}/corpus")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=200000 -rss_limit_mb=2048
          -timeout=10 -print_final_stats=1 "${WORK_DIR}/corpus"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a fault (exit ${result}); see ${WORK_DIR}")
endif()
