# What `cmake --install` puts where, relative to the prefix:
#   bin/gridwright                                  the program
#   <libdir>/gridwright/gridwright.so, libgw_winapi.so   the plug-in and the library it shares with the host
#   <datadir>/gridwright/icu_data/                  the converter data of the host encoding
#   <mandir>/man1/gridwright.1                      the manual page, made from the help texts
#   <datadir>/bash-completion/completions/gridwright
# The installed program finds the plug-in and the data relative to itself
# (GRIDWRIGHT_INSTALLED_* in src/cli), so the tree can be moved as a whole.

set(GW_INSTALL_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/gridwright)
set(GW_INSTALL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/gridwright)
file(RELATIVE_PATH GW_PLUGIN_DIR_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${GW_INSTALL_PLUGIN_DIR})
file(RELATIVE_PATH GW_DATA_DIR_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${GW_INSTALL_DATA_DIR})
target_compile_definitions(gw_cli PRIVATE
  GRIDWRIGHT_INSTALLED_PLUGIN_DIR="${GW_PLUGIN_DIR_FROM_BIN}"
  GRIDWRIGHT_INSTALLED_DATA_DIR="${GW_DATA_DIR_FROM_BIN}")

set_target_properties(gridwright_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${GW_PLUGIN_DIR_FROM_BIN}")
set_target_properties(gridwright PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS gridwright_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS gridwright gw_winapi LIBRARY DESTINATION ${GW_INSTALL_PLUGIN_DIR})
install(DIRECTORY ${GW_ICU_DATA_DIR}/ DESTINATION ${GW_INSTALL_DATA_DIR}/icu_data)

# The manual page, generated from --help and --version at build time (by
# running the program, so not in a cross build).
find_program(GW_HELP2MAN help2man)
if(CMAKE_CROSSCOMPILING)
  message(STATUS "Cross build: no manual page")
elseif(GW_HELP2MAN)
  set(GW_MAN_PAGE ${CMAKE_BINARY_DIR}/man/gridwright.1)
  add_custom_command(
    OUTPUT ${GW_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GW_HELP2MAN} --no-info --no-discard-stderr
            --name "run table-format commands on MIF documents and books"
            --include ${CMAKE_SOURCE_DIR}/docs/gridwright.h2m
            --output ${GW_MAN_PAGE} $<TARGET_FILE:gridwright_cli>
    DEPENDS gridwright_cli ${CMAKE_SOURCE_DIR}/docs/gridwright.h2m
    COMMENT "Writing the manual page gridwright(1)"
    VERBATIM)
  add_custom_target(gridwright_man ALL DEPENDS ${GW_MAN_PAGE})
  install(FILES ${GW_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: no manual page (scripts/setup.sh installs it)")
endif()

install(FILES ${CMAKE_SOURCE_DIR}/completion/gridwright.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME gridwright)

# The schema of check --format json, for CI jobs that validate it.
install(FILES ${CMAKE_SOURCE_DIR}/docs/check-schema.json DESTINATION ${GW_INSTALL_DATA_DIR})
