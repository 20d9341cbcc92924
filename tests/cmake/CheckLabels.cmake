cmake_minimum_required(VERSION 3.20)
# Fails when a test of the build carries none, or more than one, of the labels a run selects by:
#   unit     a program's own logic, headless, seconds (ctest -L unit: the quick loop)
#   readers  our files opened by other programs (LibreOffice, xlrd, Gnumeric) or theirs by us
#   e2e      the real program in a real X server or compositor
#   fuzz     the fuzz targets' timed runs
#   package  the Debian package and its metadata
set(kinds unit readers e2e fuzz package)
include(${CMAKE_CURRENT_LIST_DIR}/ReadTests.cmake)

set(wrong)
foreach(name IN LISTS names)
  get_property(labels GLOBAL PROPERTY "labels_${name}")
  set(chosen)
  foreach(label IN LISTS labels)
    if(label IN_LIST kinds)
      list(APPEND chosen ${label})
    endif()
  endforeach()
  list(LENGTH chosen count)
  if(NOT count EQUAL 1)
    list(APPEND wrong "${name} (${labels})")
  endif()
endforeach()
list(LENGTH names total)
if(total LESS 50)
  message(FATAL_ERROR "only ${total} tests found in ${BUILD}")
endif()
if(wrong)
  list(JOIN wrong "\n  " text)
  message(FATAL_ERROR "tests without exactly one of the labels ${kinds}:\n  ${text}")
endif()
message(STATUS "${total} tests, each with one of: ${kinds}")
