# Installs the build into a fresh prefix (whatever an earlier run left there goes first).
# cmake -DBUILD=<build dir> -DPREFIX=<prefix> -P install-prefix.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install into ${PREFIX} failed (${status})")
endif()
