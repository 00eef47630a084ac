# Renders a man page with groff, every warning on; any message fails the test.
execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${PAGE}
  RESULT_VARIABLE status ERROR_VARIABLE messages OUTPUT_QUIET)
if(NOT status EQUAL 0 OR NOT messages STREQUAL "")
  message(FATAL_ERROR "groff on ${PAGE}: status ${status}\n${messages}")
endif()
execute_process(COMMAND ${GROFF} -man -Tutf8 ${PAGE} OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT text MATCHES "mrqt build")
  message(FATAL_ERROR "groff rendered nothing useful from ${PAGE}")
endif()
