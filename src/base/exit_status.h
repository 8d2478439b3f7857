#pragma once

// The exit statuses of parvolin, lvplayer and pvtool: one table, the same for every program, and
// the README's "Exit status" table lists the same numbers and meanings (a test compares them).
namespace parvolin::base {

inline constexpr int kExitOk = 0;      // done; the recorder: stopped by a signal or a scenario
inline constexpr int kExitFailed = 1;  // the work failed: a file or a unit could not be used
inline constexpr int kExitUsage = 2;   // a bad command line, or an input that is refused whole
inline constexpr int kExitSetUp = 3;   // the recorder: a unit could not be set up
// Finished, but not everything was done: records skipped, or data left unwritten (named).
inline constexpr int kExitIncomplete = 4;

struct ExitStatusText {
  int status;
  const char* meaning;
};

// The table as the README and the manual pages show it.
inline constexpr ExitStatusText kExitStatuses[] = {
    {kExitOk, "success; the recorder was stopped by a signal or its scenario ended"},
    {kExitFailed,
     "failure: a file, a folder or a unit could not be used, or another program holds it"},
    {kExitUsage, "bad command line, or an input refused as a whole (not a stream capture)"},
    {kExitSetUp, "the recorder could not set up a unit (a service manager restarts it)"},
    {kExitIncomplete,
     "finished, but not all was done: records that cannot be real skipped (pvtool log), or "
     "recordings, call records or rows left unwritten (named on standard error)"},
};

}  // namespace parvolin::base
