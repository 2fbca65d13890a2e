# Where the screen saver's data lives, for every CMake file that adds some:
#   include(${PROJECT_SOURCE_DIR}/source/programs/zyn-screensaver/ScreenSaverData.cmake)
#   zyn_screensaver_install_data(${ZYN_DATA_BUILD_DIR}/RezAduva.pac)
# The program looks for its data in the build tree's data folder when run
# from the build tree, and in the install destination once installed.
include_guard(GLOBAL)
include(GNUInstallDirs)

# The build tree's data folder (the art pipeline writes the pack there).
if(NOT DEFINED ZYN_DATA_BUILD_DIR)
  set(ZYN_DATA_BUILD_DIR ${PROJECT_BINARY_DIR}/data CACHE INTERNAL "The build tree's data folder")
endif()

# Install destinations, relative to the prefix.
set(ZYN_SCREENSAVER_DATA_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/zyn-screensaver)
set(ZYN_SCREENSAVER_HACK_INSTALL_DIR ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
set(ZYN_SCREENSAVER_CONFIG_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)

# Installs files (the pack, extra data) into the screen saver's data folder.
function(zyn_screensaver_install_data)
  install(FILES ${ARGN} DESTINATION ${ZYN_SCREENSAVER_DATA_INSTALL_DIR})
endfunction()
