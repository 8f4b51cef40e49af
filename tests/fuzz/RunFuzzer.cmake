# One short, repeatable run of a fuzz target: a fixed number of inputs grown
# from its seeds with a fixed random seed. The seeds' folder is read only;
# what the run finds goes to a corpus in WORK that starts empty every time,
# so every run tries the same inputs, and a crashing input lands in WORK.
#   cmake -DFUZZER=... -DRUNS=N -DSEEDS=folder -DWORK=folder -P RunFuzzer.cmake
foreach(variable FUZZER RUNS SEEDS WORK)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "RunFuzzer.cmake needs -D${variable}=")
    endif()
endforeach()
file(REMOVE_RECURSE ${WORK}/corpus)
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(COMMAND ${FUZZER} -seed=1 -runs=${RUNS} -max_len=4096 ${WORK}/corpus ${SEEDS}
                WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} failed (${result})")
endif()
