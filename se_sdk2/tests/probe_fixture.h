// Both framework revisions are tested with the same cases through the probe
// plug-in built for each.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "plughost/engine.h"
#include "plughost/stderr_capture.h"
#include "plughost_testing.h"
#include "se_sdk2/se_precondition.h"

class ProbeTest : public ::testing::TestWithParam<int> {
 protected:
  int revision() const { return GetParam(); }
  std::string library() const {
    return plughost::testing::plugin("se_probe_" + std::to_string(revision()));
  }
  plughost::Instance& add(plughost::Engine& engine, std::optional<int> pin_count = std::nullopt,
                          int extra = 0) {
    return engine.add("probe", library(), pin_count, extra);
  }
  // Sends one command and returns the reports it caused (rev 2230 adds a
  // "gui value=" line for the message itself, dropped here).
  static std::vector<std::string> command(plughost::Instance& probe, const std::string& text) {
    probe.send_gui_message(text);
    auto reports = plughost::testing::take_reports(probe);
    reports.erase(
        std::remove_if(reports.begin(), reports.end(),
                       [](const std::string& r) { return r.rfind("gui value=", 0) == 0; }),
        reports.end());
    return reports;
  }
  static std::string single(plughost::Instance& probe, const std::string& text) {
    auto reports = command(probe, text);
    return reports.size() == 1 ? reports[0] : "(" + std::to_string(reports.size()) + " reports)";
  }
};

// An event record as a host would deliver it.
inline SEEventRecord event_at(uint32_t time_stamp, int type, int value, intptr_t ptr = 0,
                              int value2 = 0) {
  SEEventRecord e{};
  e.time_stamp = time_stamp;
  e.type = type;
  e.int_value = value;
  e.int_value2 = value2;
  e.ptr = ptr;
  return e;
}

// The report line a checking build writes for a violated condition.
inline std::string report_of(const std::string& condition) {
  return "se_sdk2: precondition \"" + condition + "\" failed at ";
}

// Checking builds report; release builds stay silent.
#define EXPECT_PRECONDITION_REPORT(captured, condition)                      \
  do {                                                                       \
    if (SE_CHECKED_BUILD) {                                                  \
      EXPECT_NE((captured).find(report_of(condition)), std::string::npos)    \
          << "stderr was: " << (captured);                                   \
    } else {                                                                 \
      EXPECT_EQ((captured).find("se_sdk2: precondition"), std::string::npos) \
          << "stderr was: " << (captured);                                   \
    }                                                                        \
  } while (0)
