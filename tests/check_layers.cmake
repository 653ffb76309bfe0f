cmake_minimum_required(VERSION 3.25)
# Fails when a folder includes a header that its layer may not use, when a
# folder of sources has no rule here, or when two folders hold a header of one
# name (an include could not tell them apart). Headers are named by their
# file names, as the sources include them; generated ones by what they are
# made from (Version.h from Version.h.in, ui_Log.h from Log.ui).

# What each folder may use besides its own headers: folders, and two groups
# of the libraries' headers. "wire" is what both ends of a link agree on
# (where a port or the USB socket is found, the USB messages); "interfaces"
# are the libraries' C interfaces, which the adapters load.
set(wire PortPath.h HalvexSocket.h HalvexWire.h)
set(interfaces tarnlink.h halvex.h)
set(below_engine files adapters common wire)
set(uses_common "")
set(uses_serial_link common)
set(uses_halvex common)
# The simulator checks the libraries: it shares where they meet it and what
# they send, never how they do it.
set(uses_sim common wire)
set(uses_adapters common wire interfaces)
set(uses_files adapters common wire)
set(uses_engine ${below_engine})
set(uses_cli engine ${below_engine})
set(uses_app engine ${below_engine})
set(uses_dialogs app engine ${below_engine})
set(uses_program dialogs app cli engine files adapters serial_link halvex sim common)
# Folders of tests and tools, not layers of the product.
set(outside bench tests translations)

file(GLOB entries LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(folders)
set(problems)
foreach(entry IN LISTS entries)
  file(GLOB sources ${SOURCE_DIR}/${entry}/*.h ${SOURCE_DIR}/${entry}/*.cpp)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${entry} OR NOT sources OR entry IN_LIST outside)
    continue()
  endif()
  list(APPEND folders ${entry})
  if(NOT DEFINED uses_${entry})
    list(APPEND problems "${entry}/ has no rule in tests/check_layers.cmake")
  endif()
endforeach()

# The folder of each header, and the group of those in one.
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE made RELATIVE ${SOURCE_DIR}/${folder}
       ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.h.in ${SOURCE_DIR}/${folder}/*.ui)
  foreach(file IN LISTS made)
    get_filename_component(header ${file} NAME)
    string(REGEX REPLACE "^(.+)\\.ui$" "ui_\\1.h" header "${header}")
    string(REGEX REPLACE "\\.in$" "" header "${header}")
    if(DEFINED folder_of_${header})
      list(APPEND problems "${header} is in ${folder_of_${header}}/ and in ${folder}/")
    endif()
    set(folder_of_${header} ${folder})
    set(group_of_${header} ${folder})
    foreach(group wire interfaces)
      if(header IN_LIST ${group})
        set(group_of_${header} ${group})
      endif()
    endforeach()
  endforeach()
endforeach()

foreach(folder IN LISTS folders)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^#include \"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      get_filename_component(header ${header} NAME)
      set(owner ${folder_of_${header}})
      if(owner AND NOT owner STREQUAL folder AND NOT owner IN_LIST uses_${folder}
         AND NOT group_of_${header} IN_LIST uses_${folder})
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
        list(APPEND problems "${shown} includes ${header} (${owner}/)")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " listing)
  message(FATAL_ERROR "layers:\n  ${listing}")
endif()
message(STATUS "layers: every include goes one way down")
