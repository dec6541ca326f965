// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "memory_budget.h"

#include <cstdio>

bool MemoryBudget::take(double bytes)
{
  if (!(bytes <= limit))
    return false;
  std::unique_lock<std::mutex> lock(mutex);
  released.wait(lock, [&] { return used + bytes <= limit; });
  used += bytes;
  return true;
}

void MemoryBudget::give_back(double bytes)
{
  {
    const std::lock_guard<std::mutex> lock(mutex);
    used -= bytes;
  }
  released.notify_all();
}

Reservation::~Reservation()
{
  file.reset();
  budget.give_back(bytes);
}

std::string size_text(double bytes)
{
  const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  for (bytes /= 1024; bytes >= 1024 && unit < 3; unit++)
    bytes /= 1024;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
  return text;
}
