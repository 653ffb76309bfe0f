# Runs lupdate over the sources into a copy of the catalogue, then checks
# the copy: an entry that the sources added (unfinished) or no longer have
# (vanished) fails, as does any fault of the translations themselves.
file(MAKE_DIRECTORY ${WORK})
get_filename_component(name ${TS} NAME)
configure_file(${TS} ${WORK}/${name} COPYONLY)
execute_process(COMMAND ${LUPDATE} ${OPTIONS} -silent ${SOURCES} -ts ${WORK}/${name}
  RESULT_VARIABLE updated)
if(NOT updated EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${updated})")
endif()
execute_process(COMMAND ${CHECK} ${WORK}/${name} RESULT_VARIABLE checked)
if(NOT checked EQUAL 0)
  message(FATAL_ERROR "${TS} is not complete after lupdate: see above")
endif()
