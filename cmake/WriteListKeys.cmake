# cmake -DKEYS=<pem|pem> -DTEMPLATE=<ListKeys.cpp.in> -DOUT=<file> -P WriteListKeys.cmake: the source of
# BuiltInListKeys() for the given PEM public key files, for keys that exist only once the build has made them.
# "|" separates the files: a ";" would not survive the command line of a custom command whole.
string(REPLACE "|" ";" KEYS "${KEYS}")
set(ZARN_LIST_KEY_TEXTS "")
foreach(key_file IN LISTS KEYS)
    file(READ ${key_file} key_text)
    string(APPEND ZARN_LIST_KEY_TEXTS "R\"zarnkey(${key_text})zarnkey\",")
endforeach()
configure_file(${TEMPLATE} ${OUT} @ONLY)
