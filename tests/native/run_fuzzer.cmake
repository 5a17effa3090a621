# Runs one libFuzzer target and fails when its coverage shows that it cannot
# see the code under test (a fuzzer whose edges stay within its own file
# tries almost nothing, and would pass unnoticed).
#   cmake -DFUZZER=<exe> -DMIN_COV=<edges> -DARGS=<;-list> -P run_fuzzer.cmake
execute_process(COMMAND ${FUZZER} ${ARGS} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
get_filename_component(name ${FUZZER} NAME)
if(failed)
  message("${out}")
  message(FATAL_ERROR "${name} failed (${failed})")
endif()
string(REGEX MATCH "INITED cov: ([0-9]+) ft: [0-9]+ corp: ([0-9]+)" inited "${out}")
set(start_cov ${CMAKE_MATCH_1})
set(start_corpus ${CMAKE_MATCH_2})
string(REGEX MATCHALL "cov: [0-9]+ ft: [0-9]+ corp: [0-9]+" progress "${out}")
list(GET progress -1 last)
string(REGEX MATCH "cov: ([0-9]+) ft: [0-9]+ corp: ([0-9]+)" last "${last}")
set(cov ${CMAKE_MATCH_1})
set(corpus ${CMAKE_MATCH_2})
string(REGEX MATCH "stat::number_of_executed_units: ([0-9]+)" runs "${out}")
message(STATUS "${name}: coverage ${start_cov} -> ${cov} edges, corpus ${start_corpus} -> ${corpus} inputs, ${CMAKE_MATCH_1} runs")
if(cov LESS MIN_COV)
  message(FATAL_ERROR "${name} reached ${cov} edges, fewer than ${MIN_COV}: it does not see the code it tests")
endif()
