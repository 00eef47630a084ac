# Installs the build into the test prefix, leaving it exactly what a fresh install gives:
# files that are up to date stay (`cmake --install` skips them, so a run with nothing
# changed copies nothing), and whatever an earlier run left there that this install does
# not put there goes.
# cmake -DBUILD=<build dir> -DPREFIX=<prefix> -P install-prefix.cmake
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install into ${PREFIX} failed (${status})")
endif()
file(STRINGS "${BUILD}/install_manifest.txt" installed)
file(GLOB_RECURSE present LIST_DIRECTORIES false "${PREFIX}/*")
list(REMOVE_ITEM present ${installed})
foreach(left IN LISTS present)
  message(STATUS "Removing what this install does not hold: ${left}")
  file(REMOVE "${left}")
endforeach()
# ... and the folders that held only such files, deepest first.
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${PREFIX}/*")
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
    file(GLOB inside "${folder}/*")
    if(NOT inside)
      file(REMOVE_RECURSE "${folder}")
    endif()
  endif()
endforeach()
