# Run after a test program is built: lists its GoogleTest suites and writes OUT, a CTest file
# with one test per suite, named PREFIX + the suite ("Goldens/GoldenPicture"), which runs the
# program with --gtest_filter=<suite>.* in WORKDIR. PROPS holds property names and values, each
# followed by "<next>" (semicolons inside a value written as "<sep>").
#   cmake -DEXE=... -DOUT=... -DPREFIX=... -DWORKDIR=... -DPROPS=... -P AddSuiteTests.cmake
cmake_minimum_required(VERSION 3.25)  # the script runs alone: the project's policies
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(COMMAND "${EXE}" --gtest_list_tests
  WORKING_DIRECTORY "${WORKDIR}"
  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed (${status}): ${errors}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(suites)
foreach(line IN LISTS lines)
  # Suites start at the first column and end with a dot, perhaps followed by "  # TypeParam ...".
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.( |$)")
    list(APPEND suites "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES suites)
if(NOT suites)
  message(FATAL_ERROR "${EXE} lists no test suites")
endif()

set(content "")
foreach(suite IN LISTS suites)
  string(APPEND content "add_test([=[${PREFIX}${suite}]=] [==[${EXE}]==] "
                        "[=[--gtest_filter=${suite}.*]=])\n")
  string(APPEND content "set_tests_properties([=[${PREFIX}${suite}]=] PROPERTIES "
                        "WORKING_DIRECTORY [==[${WORKDIR}]==]")
  string(REPLACE "<next>" ";" pairs "${PROPS}")
  while(pairs)
    list(POP_FRONT pairs name value)
    string(REPLACE "<sep>" ";" value "${value}")
    string(APPEND content " ${name} [==[${value}]==]")
  endwhile()
  string(APPEND content ")\n")
endforeach()
file(WRITE "${OUT}" "${content}")
