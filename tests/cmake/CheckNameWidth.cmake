# Fails when a line of CTest's progress output would be wider than 80 columns:
#   "<i>/<n> Test #<k>: <name> <dots>   Passed  123.45 sec", every name padded to the longest,
# 3 * digits(n) + longest name + 35 columns in all.
include(${CMAKE_CURRENT_LIST_DIR}/ReadTests.cmake)

list(LENGTH names count)
string(LENGTH "${count}" digits)
set(longest 0)
foreach(name IN LISTS names)
  string(LENGTH "${name}" length)
  if(length GREATER longest)
    set(longest ${length})
  endif()
endforeach()
math(EXPR width "3 * ${digits} + ${longest} + 35")
message(STATUS "${count} tests, the longest name ${longest} characters: lines of ${width} columns")
if(width GREATER 80)
  math(EXPR allowed "80 - 35 - 3 * ${digits}")
  set(too_long)
  foreach(name IN LISTS names)
    string(LENGTH "${name}" length)
    if(length GREATER allowed)
      list(APPEND too_long "${name}")
    endif()
  endforeach()
  message(FATAL_ERROR "CTest's lines would be ${width} columns wide; names longer than "
                      "${allowed} characters: ${too_long}")
endif()
