# Writes the demo repository's component list for the server that serves it:
#   cmake -DSERVER=http://127.0.0.1:8080 [-DOUTPUT=FILE] -P WriteComplist.cmake
# SERVER is "http://host[:port]" or "https://host[:port]"; OUTPUT defaults to the repository's list file. Run from
# the build folder's copy, which sits beside the list template and the repository.
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED SERVER OR NOT SERVER MATCHES "^https?://[^/]+/?$")
    message(FATAL_ERROR "WriteComplist.cmake: give -DSERVER=http://host[:port] (or https://)")
endif()
string(REGEX REPLACE "/$" "" SERVER "${SERVER}")
if(NOT DEFINED OUTPUT)
    set(OUTPUT ${CMAKE_CURRENT_LIST_DIR}/repository/quillornacc/complist/complist.txt)
endif()
file(READ ${CMAKE_CURRENT_LIST_DIR}/complist.txt.in list)
string(REPLACE "@SERVER@" "${SERVER}" list "${list}")
# Written beside and renamed into place: a server reading the list meanwhile sees the old one or the new one whole.
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${OUTPUT}.new "${list}")
file(RENAME ${OUTPUT}.new ${OUTPUT})
