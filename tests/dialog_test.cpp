// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Each host's dialog answered from outside under Xvfb, as a user would: Help opens the
// page installed with the plug-in; Cancel and closing change and store nothing; the
// first dialog starts from the defaults; OK writes exactly what the preview shows and
// stores the values for last values; entries clamp to their ranges.
#include <algorithm>
#include <fstream>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "support/dialog_driver.h"
#include "support/gimp_session.h"

namespace
{

struct DialogRow {
  HostCase row;
  std::optional<DialogAnswer> answer; // none: no dialog appears
};

// GIMP 2.10's rows type into the entries; GIMP 3's dialog orders its widgets
// differently, so its rows keep the values shown.
std::vector<DialogRow> dialog_rows(Host host, const std::string &screenshot)
{
  const auto row = [](const std::string &name, Expect expect, std::string renders_with) {
    return HostCase{.name = name,
                    .expect = expect,
                    .run_mode = "RUN-INTERACTIVE",
                    .renders_with = renders_with,
                    .width = 160,
                    .height = 120};
  };
  const bool typed = host == Host::gimp2;
  const std::string shown = typed ? "37.5 0.8" : "5 0.5";
  HostCase last_values = row("last-values", Expect::reference, shown);
  last_values.run_mode = "RUN-WITH-LAST-VALS";
  last_values.settings = "60 1";
  std::vector<DialogRow> rows = {{row("cancel", Expect::unchanged, ""),
                                  DialogAnswer{typed ? "40" : "", typed ? "0.9" : "",
                                               DialogButton::cancel, "", true}},
                                 {row("shown", Expect::reference, shown),
                                  DialogAnswer{typed ? "37.5" : "", typed ? "0.8" : "",
                                               DialogButton::ok, screenshot}},
                                 {last_values, std::nullopt}};
  if (!typed)
    return rows;
  HostCase indexed = row("indexed", Expect::refused, "");
  indexed.kind = "indexed";
  rows.insert(rows.begin() + 1,
              {{row("close", Expect::unchanged, ""),
                DialogAnswer{"41", "0.7", DialogButton::close_window, ""}},
               {row("first-ok", Expect::reference, "5 0.5"),
                DialogAnswer{"", "", DialogButton::ok, ""}}});
  rows.push_back({row("clamped", Expect::reference, "100 1"),
                  DialogAnswer{"250", "1.7", DialogButton::ok, ""}});
  rows.push_back({indexed, DialogAnswer{"", "", DialogButton::ok, ""}});
  return rows;
}

void expect_dialogs(Host host, const std::string &suite)
{
  GimpRun run = prepare_run(suite, host);
  const std::string screenshot = run.work + "/dialog.png";
  const std::vector<DialogRow> rows = dialog_rows(host, screenshot);
  std::vector<HostCase> cases;
  for (const DialogRow &row : rows)
    cases.push_back(row.row);
  std::thread gimp([&] { run_cases(run, host, cases, 300, Interface::gui); });
  for (const DialogRow &row : rows) {
    if (row.answer) {
      EXPECT_EQ(answer_dialog(*row.answer, 90), "") << row.row.name;
    }
  }
  gimp.join();
  ASSERT_TRUE(run.completed()) << run.log;
  EXPECT_TRUE(host_complaints(run.log).empty()) << run.log;
  for (const DialogRow &row : rows)
    expect_case(run, host, row.row);

  std::ifstream opened(help_opened(run));
  std::string page, more;
  std::getline(opened, page);
  EXPECT_EQ(page, run.profile + "/plug-ins/ondalux/help/en/index.html");
  EXPECT_FALSE(std::getline(opened, more)) << "also opened " << more;

  const Image shown = read_png(screenshot);
  const HostCase &written =
      std::find_if(rows.begin(), rows.end(), [](const DialogRow &row) {
        return row.row.name == "shown";
      })->row;
  int x = 0, y = 0;
  EXPECT_TRUE(find_exact(shown, saved_pixels(run, written, "after"), &x, &y))
      << "the written image is not in the dialog's screenshot at 1:1";
  EXPECT_FALSE(find_exact(shown, saved_pixels(run, written, "before"), &x, &y))
      << "the preview shows the image undistorted";
}

TEST(Gimp2, Dialog)
{
  expect_dialogs(Host::gimp2, "dialog-gimp2");
}
TEST(Gimp3, Dialog)
{
  expect_dialogs(Host::gimp3, "dialog-gimp3");
}

} // namespace
