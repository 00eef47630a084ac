# Builds the Debian packages of a build into a fresh folder, as `make package` does.
# cmake -DCPACK=<cpack> -DCONFIG=<build>/CPackConfig.cmake -DOUT=<folder> -P build-packages.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CPACK}" --config "${CONFIG}" -B "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack into ${OUT} failed (${status})")
endif()
