# Fails unless the library exports exactly the thirteen functions of its C
# interface.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [TtDdBbRrWwVvi] [^\n]+" entries "${listing}")
set(found)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${entry}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
set(expected _CommLoop _PortClose _PortInitial _SetBaudRate _SetTimeouts
    dfComCommunication dfComMakeData dfComSetBaudRate dfComSetClose dfComSetReady
    dfComSetTimeout1 dfComSetTimeout2 dfGetDllVersion)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exports differ.\n expected: ${expected}\n found:    ${found}")
endif()
message(STATUS "exports: ${found}")
