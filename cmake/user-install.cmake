# Installs the plug-in into the current user's GIMP 2.10 profile, the folder GIMP
# itself uses: $GIMP2_DIRECTORY when set (relative to $HOME unless absolute), else
# $XDG_CONFIG_HOME/GIMP/2.10, else ~/.config/GIMP/2.10.
if(NOT "$ENV{GIMP2_DIRECTORY}" STREQUAL "")
  set(profile "$ENV{GIMP2_DIRECTORY}")
  if(NOT IS_ABSOLUTE "${profile}")
    set(profile "$ENV{HOME}/${profile}")
  endif()
elseif(NOT "$ENV{XDG_CONFIG_HOME}" STREQUAL "")
  set(profile "$ENV{XDG_CONFIG_HOME}/GIMP/2.10")
else()
  set(profile "$ENV{HOME}/.config/GIMP/2.10")
endif()

# GIMP finds a plug-in in a subfolder only when the folder bears its name.
file(INSTALL "${ONDALUX_PLUGIN}" DESTINATION "${profile}/plug-ins/ondalux"
     USE_SOURCE_PERMISSIONS)

# The batch command goes where a user's own commands go.
set(data_home "$ENV{XDG_DATA_HOME}")
if(data_home STREQUAL "")
  set(data_home "$ENV{HOME}/.local/share")
endif()
file(INSTALL "${ONDALUX_BATCH}" DESTINATION "$ENV{HOME}/.local/bin" USE_SOURCE_PERMISSIONS)
file(INSTALL "${ONDALUX_MAN_PAGE}" DESTINATION "${data_home}/man/man1")
