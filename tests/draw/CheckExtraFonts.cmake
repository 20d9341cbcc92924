# Fails unless the private fontconfig file CONF shows the extra test fonts of FONTS: the runs
# with the extra fonts prove nothing when the fonts are not there.
if(NOT EXISTS "${FONTS}/usr/share/fonts")
  message(FATAL_ERROR "The extra test fonts are missing in ${FONTS}: run scripts/deps.sh.")
endif()
set(ENV{FONTCONFIG_FILE} "${CONF}")
foreach(family "Noto Sans Mono" "Liberation Sans")
  execute_process(COMMAND fc-list "${family}" file OUTPUT_VARIABLE files RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT files MATCHES "${FONTS}")
    message(FATAL_ERROR "${CONF} does not show the extra font ${family} of ${FONTS}.")
  endif()
endforeach()
execute_process(COMMAND fc-match -f "%{family}" Consolas OUTPUT_VARIABLE consolas)
message(STATUS "With the extra fonts, fontconfig's choice for Consolas is ${consolas}.")
