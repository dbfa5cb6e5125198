# cmake -DCHECK=<cmake/CheckListKeys.cmake> -DPEM=<a PEM public key> -P CheckListKeysTest.cmake: runs the build's
# key check on each case as a configure would, and fails on the first that ends otherwise than expected.
# Each case: the keys ("|" between files), whether unsigned lists are allowed, and the text of the refusal ("" for
# a check that passes).
cmake_minimum_required(VERSION 3.25)
set(cases
    "||OFF||No vendor keys: ZARN_LIST_KEYS is empty"
    "||ON||"
    "${PEM}||OFF||"
    "${PEM}||ON||"
    "${CMAKE_CURRENT_LIST_FILE}||ON||is no PEM public key"
    "${PEM}|${PEM}|${PEM}||ON||names 3 keys")
foreach(case IN LISTS cases)
    string(REPLACE "||" ";" fields "${case}")
    list(GET fields 0 keys)
    list(GET fields 1 allow)
    list(GET fields 2 refusal)
    string(REPLACE "|" ";" keys "${keys}")
    execute_process(COMMAND ${CMAKE_COMMAND} "-DZARN_LIST_KEYS=${keys}" "-DZARN_ALLOW_UNSIGNED_LISTS=${allow}"
        -P ${CHECK}
        RESULT_VARIABLE result ERROR_VARIABLE output OUTPUT_VARIABLE output TIMEOUT 60)
    string(REPLACE "\n" " " output "${output}")
    string(REGEX REPLACE " +" " " output "${output}")
    if(refusal STREQUAL "" AND NOT result EQUAL 0)
        message(FATAL_ERROR "keys '${keys}', unsigned ${allow}: refused: ${output}")
    elseif(NOT refusal STREQUAL "" AND (result EQUAL 0 OR NOT output MATCHES "${refusal}"))
        message(FATAL_ERROR "keys '${keys}', unsigned ${allow}: expected a refusal with '${refusal}', got "
            "${result}: ${output}")
    endif()
endforeach()
