# The vendor's public keys a build compiles in, checked: one or two PEM files, or none only when
# ZARN_ALLOW_UNSIGNED_LISTS says so, since a launcher without keys installs whatever lists the network sends.
# Sets ZARN_LIST_KEY_TEXTS to the keys as C++ raw string literals, each followed by a comma. Included by the
# top-level CMakeLists.txt; `cmake -DZARN_LIST_KEYS=... -DZARN_ALLOW_UNSIGNED_LISTS=... -P CheckListKeys.cmake`
# runs the same check alone.
list(LENGTH ZARN_LIST_KEYS zarn_list_key_count)
if(zarn_list_key_count EQUAL 0 AND NOT ZARN_ALLOW_UNSIGNED_LISTS)
    message(FATAL_ERROR "No vendor keys: ZARN_LIST_KEYS is empty, so the launcher would accept unsigned component "
        "lists and install whatever the network sends. Give the vendor's public key "
        "(-DZARN_LIST_KEYS=public.pem), or, for a development or test build, choose unsigned lists explicitly "
        "with -DZARN_ALLOW_UNSIGNED_LISTS=ON.")
endif()
if(zarn_list_key_count GREATER 2)
    message(FATAL_ERROR "ZARN_LIST_KEYS names ${zarn_list_key_count} keys; at most two (the current and the next)")
endif()
set(ZARN_LIST_KEY_TEXTS "")
foreach(key_file IN LISTS ZARN_LIST_KEYS)
    file(READ ${key_file} key_text)
    if(NOT key_text MATCHES "-----BEGIN PUBLIC KEY-----")
        message(FATAL_ERROR "ZARN_LIST_KEYS: ${key_file} is no PEM public key")
    endif()
    string(APPEND ZARN_LIST_KEY_TEXTS "R\"zarnkey(${key_text})zarnkey\",")
    if(NOT CMAKE_SCRIPT_MODE_FILE)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${key_file})
    endif()
endforeach()
