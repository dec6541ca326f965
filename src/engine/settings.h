// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The procedure and its two settings, declared once for both hosts' registration,
// storage and dialogs, the GEGL operation's properties and the command line.
#pragma once

// Texts a user reads are English msgids, marked N_() for the message catalogues as
// GLib marks them, and translated where GIMP shows them; the command shows them as
// they are.
#ifndef N_
#define N_(String) (String)
#endif
// The message domain of the plug-ins and the operation, and its catalogues' folder
// beside each plug-in.
constexpr char TEXT_DOMAIN[] = "ondalux";
constexpr char CATALOG_FOLDER[] = "locale";

constexpr char PROC_NAME[] = "plug-in-ondalux";
constexpr const char *PROC_TITLE = N_("Ondalux");
constexpr const char *PROC_BLURB = N_("Dent image");
constexpr const char *PROC_HELP = N_(
    "Replaces every pixel of the selection by one from a nearby position; the offsets "
    "follow the slope of a smooth simplex-noise field whose pattern is drawn at random "
    "on each run.");
constexpr const char *PROGRESS_TEXT = N_("Distorting...");
constexpr const char *GROUP_REASON =
    N_("Ondalux cannot distort a layer group; pick a layer inside it");
constexpr const char *NOT_ACCEPTED_REASON =
    N_("GIMP did not accept the result: the drawable cannot be modified");
constexpr char PROC_AUTHOR[] = "Ondalux developers";
constexpr char PROC_DATE[] = "January 2015, 1.0";
constexpr const char *PROC_MENU_LABEL = N_("_Ondalux...");
constexpr char PROC_MENU_PATH[] = "<Image>/Filters/Distorts";
constexpr char PROC_IMAGE_TYPES[] = "RGB*, GRAY*";
// The GEGL operation, which GIMP lists beside the plug-in under a label of its own.
constexpr char OPERATION_NAME[] = "ondalux:dent";
constexpr const char *OPERATION_TITLE = N_("Ondalux Live");
constexpr const char *OPERATION_MENU_LABEL = N_("Ondalux _Live...");
// The noise patterns there are: only a noise offset's low 8 bits count.
constexpr unsigned pattern_count = 256;
// The help pages live in this subfolder of the plug-in's own folder; the help id is
// PROC_NAME.
constexpr char HELP_DOMAIN[] = "https://ondalux.org/help";
constexpr char HELP_FOLDER[] = "help";

// Persisted as its raw 16 bytes under PROC_NAME.
struct DistortVals {
  double scale;      // per cent of the selection's smaller side
  double turbulence; // displacement strength
};
static_assert(sizeof(DistortVals) == 16, "stored settings are 16 bytes");

struct SettingSpec {
  const char *arg_name;  // procedure argument name
  const char *arg_blurb; // procedure argument description; the operation's label
  const char *label;     // GIMP 2.10 dialog label
  const char *nick;      // GIMP 3 argument label, with its mnemonic
  const char *description;
  double default_value;
  double lower, upper; // dialog range
  double step, page;
  int digits;
};

constexpr SettingSpec scale_setting = {"scale",
                                       N_("Scale"),
                                       N_("Scale:"),
                                       N_("_Scale"),
                                       N_("Size of the dents and of the offsets, in per "
                                          "cent of the selection's smaller side"),
                                       5.0,
                                       0.0,
                                       100.0,
                                       0.1,
                                       10.0,
                                       1};
constexpr SettingSpec turbulence_setting = {
    "disturbance",
    N_("Turbulence"),
    N_("Turbulence:"),
    N_("_Turbulence"),
    N_("Strength of the offsets: horizontal ones "
       "grow with it, vertical ones with its square"),
    0.5,
    0.0,
    1.0,
    0.01,
    0.1,
    2};

constexpr DistortVals default_vals = {scale_setting.default_value,
                                      turbulence_setting.default_value};
