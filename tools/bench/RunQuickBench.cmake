# The benchmark's smoke check: VelaBench.exe --quick under Wine runs to completion and writes a
# well-formed JSON report that holds every figure with samples on both sides and no problem.
# cmake -DBENCH=path/VelaBench.exe -DOUT=path/quick.json -P RunQuickBench.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE ${OUT})
get_filename_component(outDir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${outDir})
get_filename_component(bin ${BENCH} DIRECTORY)
# The output goes to a file, not a pipe: services that the first Wine program of a prefix starts
# keep inherited pipes open long after the program has ended.
execute_process(COMMAND wine ${BENCH} --quick --out Z:${OUT}
    WORKING_DIRECTORY ${bin} RESULT_VARIABLE result
    OUTPUT_FILE ${OUT}.log ERROR_FILE ${OUT}.log)
file(READ ${OUT}.log output)
message("${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "VelaBench.exe --quick exited with ${result}")
endif()

file(READ ${OUT} json)
string(JSON figureCount ERROR_VARIABLE error LENGTH "${json}" figures)
if(error)
    message(FATAL_ERROR "the report is not well-formed JSON: ${error}")
endif()
set(names)
math(EXPR last "${figureCount} - 1")
foreach(i RANGE ${last})
    string(JSON name GET "${json}" figures ${i} name)
    list(APPEND names "${name}")
    foreach(side module_us baseline_us ratio)
        string(JSON count GET "${json}" figures ${i} ${side} count)
        if(count LESS 1)
            message(FATAL_ERROR "figure \"${name}\" has no ${side} sample")
        endif()
    endforeach()
endforeach()
foreach(expected
        "CleanTemporaryFiles/300 vs bare loop" "CleanTemporaryFiles/300 vs FreeUrlCacheSpaceW"
        "CleanCookies/300 vs bare loop" "CleanCookies/300 vs FreeUrlCacheSpaceW"
        "RecordDeleteDialog open, 25 records vs look-ups"
        "TypedUrlStore batch of 25, pre-NT 6 path vs 25 sets"
        "TypedUrlStore batch of 25, NT 6 path vs 25 sets"
        "VelaClear.dll load + message 1 + 21 + free")
    if(NOT expected IN_LIST names)
        message(FATAL_ERROR "the report lacks the figure \"${expected}\"")
    endif()
endforeach()
string(JSON imports GET "${json}" facts "VelaClear.dll imported functions" value)
string(JSON problems LENGTH "${json}" problems)
if(NOT problems EQUAL 0)
    message(FATAL_ERROR "the benchmark reported problems: ${json}")
endif()
message(STATUS "${figureCount} figures, ${imports} imported functions")
