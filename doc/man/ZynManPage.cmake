# zyn_man_page(TARGET SECTION SUMMARY [COMMANDS cmd...]): the manual page of a
# program, made after the program is built from its own --help (and each
# command's --help), so that the page and the help cannot drift apart.
# Installed to man<SECTION> as the component "man".
set(ZYN_HELP_TO_MAN ${CMAKE_CURRENT_LIST_DIR}/HelpToMan.cmake)

function(zyn_man_page target section summary)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "COMMANDS")
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.${section})
  string(REPLACE ";" "," commands "${arg_COMMANDS}")
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${target} -DSECTION=${section}
            "-DSUMMARY=${summary}" "-DCOMMANDS=${commands}" -DVERSION=${PROJECT_VERSION}
            -DOUT=${page} -P ${ZYN_HELP_TO_MAN}
    DEPENDS ${target} ${ZYN_HELP_TO_MAN}
    COMMENT "Writing the manual page ${target}.${section} from its --help"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT man)
endfunction()
