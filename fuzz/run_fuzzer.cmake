# Runs the fuzzer for SECONDS over a corpus seeded with the files of DATA_DIR that match SEEDS
# (default: the reference workbooks), inputs up to MAX_LEN bytes (default 200000).
# cmake -DFUZZER=... -DDATA_DIR=... -DWORK_DIR=... -DSECONDS=30 [-DSEEDS=*.ini] [-DMAX_LEN=n]
#       -P run_fuzzer.cmake
if(NOT EXISTS "${FUZZER}")
  message(FATAL_ERROR "fuzzer not built: ${FUZZER}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/corpus")
if(NOT SEEDS)
  set(SEEDS "*.xls;*.xlt")
endif()
if(NOT MAX_LEN)
  set(MAX_LEN 200000)
endif()
set(seeds)
foreach(pattern IN LISTS SEEDS)
  file(GLOB found "${DATA_DIR}/${pattern}")
  list(APPEND seeds ${found})
endforeach()
file(COPY ${seeds} DESTINATION "${WORK_DIR}/corpus")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=${MAX_LEN} -rss_limit_mb=2048
          -timeout=10 -print_final_stats=1 "${WORK_DIR}/corpus"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a fault (exit ${result}); see ${WORK_DIR}")
endif()
