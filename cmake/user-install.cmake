# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Installs into the current user's folders, where the installed GIMP and GEGL look for
# them. Each plug-in goes where its GIMP's own gimptool would install it: gimptool knows
# the profile folder of the GIMP it comes with (GIMP 3.2 reads ~/.config/GIMP/3.2, not
# 3.0), and honours GIMP2_DIRECTORY, GIMP3_DIRECTORY and XDG_CONFIG_HOME as GIMP does.
# The plug-in finds its help pages and message catalogues beside itself.
function(install_plugin plugin gimptool)
  execute_process(COMMAND "${gimptool}" --dry-run --install-bin "${plugin}"
                  OUTPUT_VARIABLE command RESULT_VARIABLE failed)
  # cp 'PLUGIN' 'FOLDER/'
  if(failed OR NOT command MATCHES "' '(.+)/'")
    message(FATAL_ERROR "${gimptool} names no folder for ${plugin}: ${command}")
  endif()
  file(INSTALL "${plugin}" DESTINATION "${CMAKE_MATCH_1}" USE_SOURCE_PERMISSIONS)
  file(INSTALL "${ONDALUX_HELP}" DESTINATION "${CMAKE_MATCH_1}")
  file(INSTALL "${ONDALUX_CATALOGS}/" DESTINATION "${CMAKE_MATCH_1}/locale")
endfunction()
if(ONDALUX_GIMP2_PLUGIN)
  install_plugin("${ONDALUX_GIMP2_PLUGIN}" "${ONDALUX_GIMPTOOL2}")
endif()
if(ONDALUX_GIMP3_PLUGIN)
  install_plugin("${ONDALUX_GIMP3_PLUGIN}" "${ONDALUX_GIMPTOOL3}")
endif()

set(data_home "$ENV{XDG_DATA_HOME}")
if(data_home STREQUAL "")
  set(data_home "$ENV{HOME}/.local/share")
endif()
# GEGL, and so GIMP, loads the user's operations from here; the operation finds its
# catalogues in the user's locale folder.
file(INSTALL "${ONDALUX_OPERATION}" DESTINATION "${data_home}/gegl-0.4/plug-ins")
file(INSTALL "${ONDALUX_CATALOGS}/" DESTINATION "${data_home}/locale")

# The command goes where a user's own commands go.
if(ONDALUX_COMMAND)
  file(INSTALL "${ONDALUX_COMMAND}" DESTINATION "$ENV{HOME}/.local/bin" USE_SOURCE_PERMISSIONS)
  file(INSTALL "${ONDALUX_COMMAND_MODULE}" DESTINATION "$ENV{HOME}/.local/lib/ondalux")
  file(INSTALL "${ONDALUX_MAN_PAGE}" DESTINATION "${data_home}/man/man1")
endif()
