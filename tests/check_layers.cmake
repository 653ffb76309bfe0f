cmake_minimum_required(VERSION 3.25)
# Fails when a folder includes a header of a layer above it: the command line
# and everything below the windows never see app/ or dialogs/, and only
# program/ sees the windows.
set(rules
  "cli:app dialogs program"
  "engine:app dialogs program cli"
  "files:app dialogs program cli engine"
  "adapters:app dialogs program cli engine files"
  "app:dialogs program cli")
set(problems)
foreach(rule IN LISTS rules)
  string(REPLACE ":" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(GET parts 1 above)
  string(REPLACE " " ";" above "${above}")
  set(forbidden)
  foreach(layer IN LISTS above)
    file(GLOB headers RELATIVE ${SOURCE_DIR}/${layer} ${SOURCE_DIR}/${layer}/*.h)
    list(APPEND forbidden ${headers})
  endforeach()
  file(GLOB sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^#include \"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      if(header IN_LIST forbidden)
        list(APPEND problems "${source} includes ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(problems)
  list(JOIN problems "\n  " listing)
  message(FATAL_ERROR "headers from a layer above:\n  ${listing}")
endif()
message(STATUS "layers: every include goes one way down")
