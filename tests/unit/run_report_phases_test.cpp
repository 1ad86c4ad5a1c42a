// The run report names each start-up phase beside its own time, in the readable text and
// in the JSON alike: a reader who sees "pictures 3.0 ms" must be reading the pictures'
// time, not that of the phase next to it in some list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "report/run_report.h"

namespace {

// The number of the readable line "  <name>   <ms> ms", or -1 when there is none.
double text_ms(const std::string& text, const std::string& name) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find_first_not_of(' ');
    if (at == std::string::npos || line.compare(at, name.size(), name) != 0) continue;
    const std::string rest = line.substr(at + name.size());
    if (rest.empty() || rest[0] != ' ' || rest.find(" ms") == std::string::npos) continue;
    return std::strtod(rest.c_str(), nullptr);
  }
  return -1.0;
}

// The "ms" member of the phase object named `key` in the JSON, or -1.
double json_ms(const std::string& json, const std::string& key) {
  const size_t at = json.find("{\"name\":\"" + key + "\"");
  if (at == std::string::npos) return -1.0;
  const size_t ms = json.find("\"ms\":", at);
  const size_t end = json.find('}', at);
  if (ms == std::string::npos || ms > end) return -1.0;
  return std::strtod(json.c_str() + ms + 5, nullptr);
}

TEST(RunReportPhases, EachPhaseTimeStandsBesideItsOwnName) {
  const struct {
    const char* text;
    const char* key;
  } kPhases[report::kPhaseCount] = {
      {"window and context", "window"},
      {"programs", "programs"},
      {"pictures", "pictures"},
      {"screen quad", "screen_quad"},
      {"music", "music"},
      {"mesh", "mesh"},
      {"fullscreen", "fullscreen"},
      {"film framebuffer", "film_framebuffer"},
  };
  report::RunReport r;
  r.phases_reached = report::kPhaseCount;
  for (int i = 0; i < report::kPhaseCount; ++i) r.phase_seconds[i] = (i + 1) / 1000.0;
  r.to_first_frame = 1.0;
  const std::string text = report::format_text(r);
  const std::string json = report::format_json(r);
  for (int i = 0; i < report::kPhaseCount; ++i) {
    SCOPED_TRACE(kPhases[i].text);
    EXPECT_DOUBLE_EQ(text_ms(text, kPhases[i].text), i + 1.0) << text;
    EXPECT_DOUBLE_EQ(json_ms(json, kPhases[i].key), i + 1.0) << json;
  }
}

}  // namespace
