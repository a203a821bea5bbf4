# Runs a libFuzzer program on a working copy of its seed folders, with a fixed seed and a
# bounded number of inputs and time, so that a run in CI is repeatable.
# cmake -DFUZZER=exe -DWORK=dir -DSEEDS=dir|dir -DSECONDS=n -DRUNS=n -P run-fuzzer.cmake
if(NOT EXISTS ${FUZZER})
    message(FATAL_ERROR "${FUZZER} is not built: build the target presets_xml_fuzzer first")
endif()
string(REPLACE "|" ";" seeds "${SEEDS}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(seed IN LISTS seeds)
    file(GLOB files ${seed}/*)
    file(COPY ${files} DESTINATION ${WORK})
endforeach()
get_filename_component(out ${WORK} DIRECTORY)
execute_process(COMMAND ${FUZZER} -seed=1 -runs=${RUNS} -max_total_time=${SECONDS} -max_len=65536 -timeout=10
                        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=${out}/ ${WORK}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the fuzzer found a failing input (see ${out}/crash-* or leak-*)")
endif()
