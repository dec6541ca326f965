# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Installs the plug-ins into the current user's GIMP profiles, the folders GIMP itself
# uses: for GIMP 2.10 $GIMP2_DIRECTORY when set, else $XDG_CONFIG_HOME/GIMP/2.10, else
# ~/.config/GIMP/2.10; for GIMP 3 the same with GIMP3_DIRECTORY and 3.0. A relative
# profile folder is relative to $HOME, as GIMP takes it.
function(gimp_profile variable version out)
  if(NOT "$ENV{${variable}}" STREQUAL "")
    set(profile "$ENV{${variable}}")
    if(NOT IS_ABSOLUTE "${profile}")
      set(profile "$ENV{HOME}/${profile}")
    endif()
  elseif(NOT "$ENV{XDG_CONFIG_HOME}" STREQUAL "")
    set(profile "$ENV{XDG_CONFIG_HOME}/GIMP/${version}")
  else()
    set(profile "$ENV{HOME}/.config/GIMP/${version}")
  endif()
  set(${out} "${profile}" PARENT_SCOPE)
endfunction()

# GIMP finds a plug-in in a subfolder only when the folder bears its name; the plug-in
# finds its help pages beside itself.
function(install_plugin plugin variable version)
  gimp_profile(${variable} ${version} profile)
  file(INSTALL "${plugin}" DESTINATION "${profile}/plug-ins/ondalux" USE_SOURCE_PERMISSIONS)
  file(INSTALL "${ONDALUX_HELP}" DESTINATION "${profile}/plug-ins/ondalux")
endfunction()
if(ONDALUX_GIMP2_PLUGIN)
  install_plugin("${ONDALUX_GIMP2_PLUGIN}" GIMP2_DIRECTORY 2.10)
endif()
if(ONDALUX_GIMP3_PLUGIN)
  install_plugin("${ONDALUX_GIMP3_PLUGIN}" GIMP3_DIRECTORY 3.0)
endif()

set(data_home "$ENV{XDG_DATA_HOME}")
if(data_home STREQUAL "")
  set(data_home "$ENV{HOME}/.local/share")
endif()
# GEGL, and so GIMP, loads the user's operations from here.
file(INSTALL "${ONDALUX_OPERATION}" DESTINATION "${data_home}/gegl-0.4/plug-ins")

# The command goes where a user's own commands go.
if(ONDALUX_COMMAND)
  file(INSTALL "${ONDALUX_COMMAND}" DESTINATION "$ENV{HOME}/.local/bin" USE_SOURCE_PERMISSIONS)
  file(INSTALL "${ONDALUX_COMMAND_MODULE}" DESTINATION "$ENV{HOME}/.local/lib/ondalux")
  file(INSTALL "${ONDALUX_MAN_PAGE}" DESTINATION "${data_home}/man/man1")
endif()
