// The run report's recorder. With QUORL_STATS unset nothing is recorded and nothing is
// printed; "json" prints the report as one JSON object on stderr at exit, any other value
// as readable text. The report is printed on every way out, start-up failures included,
// because it hangs on platform::end_process, which every exit goes through.
#pragma once

#include "app/main_loop.h"
#include "platform/audio_device.h"
#include "report/run_report.h"

#include <string>

namespace report {

enum class StatsMode { kOff, kText, kJson };

// What a QUORL_STATS value asks for: unset, empty or "0" is off.
StatsMode stats_mode(const char* value);

// The current GL context's renderer string (empty without one), for the report.
std::string gl_renderer();

// Reads QUORL_STATS; when it asks for a report, starts recording and hooks the exit. Call
// first thing in main.
void start_run_stats();

// Marks the end of a start-up phase; it began where the previous one ended (or at process
// start). Nothing happens when recording is off.
void phase_done(Phase phase);

// How long the first frame waited for the sound device's first request. Nothing happens
// when recording is off.
void first_request_waited(const platform::FirstRequest& first);

// The main loop's services, wrapped to record frame times and the first present when
// recording is on (a subtraction and a store per pass); unchanged when it is off.
app::LoopServices with_run_stats(const app::LoopServices& services);

}  // namespace report
