// framelog.cpp — the per-frame log of --frame-log: a buffer of fixed size taken before the
// last run (the frames fill it without allocating), written out as CSV after the run, so that
// the frame times can be graphed frame by frame.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <new>

#include "app/runner/runner.h"

namespace {

std::unique_ptr<FrameLogEntry[]> logBuffer;  // the run's log, from TakeFrameLog to WriteFrameLog

}  // namespace

bool TakeFrameLog(const RunnerOptions& options, bool last, FramePhaseTimes& times,
                  std::string& why) {
  times.log = nullptr;
  times.logCapacity = times.logCount = 0;
  if (options.frameLog.empty() || !last) return true;
  // Left uninitialised: the system gives the pages only as frames fill them.
  logBuffer.reset(new (std::nothrow) FrameLogEntry[FrameLogLimit]);
  if (logBuffer == nullptr) {
    why = "--frame-log: no memory for " + std::to_string(FrameLogLimit) + " frames";
    return false;
  }
  times.log = logBuffer.get();
  times.logCapacity = FrameLogLimit;
  return true;
}

bool WriteFrameLog(const RunnerOptions& options, FramePhaseTimes& times, std::string& why) {
  if (times.log == nullptr) return true;
  FILE* out = fopen(options.frameLog.c_str(), "w");
  bool ok = out != nullptr &&
            fputs("start_ns,frame_ns,viewport_ns,sprites_ns,present_ns\n", out) >= 0;
  for (int64_t i = 0; ok && i < times.logCount; ++i) {
    const FrameLogEntry& f = times.log[i];
    ok = fprintf(out, "%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64 "\n",
                 f.start - times.firstStart, f.frame, f.viewport, f.sprites, f.present) > 0;
  }
  if (out != nullptr && fclose(out) != 0) ok = false;
  // The record goes to the runner: no address of this process in it.
  times.log = nullptr;
  logBuffer.reset();
  if (!ok) why = "--frame-log: cannot write " + options.frameLog;
  return ok;
}

Json FrameLogJson(const RunnerOptions& options, const RunnerResult& result) {
  if (options.frameLog.empty() || result.runs.empty()) return nullptr;
  const RunRecord& last = result.runs.back();
  return {{"file", ValidUtf8(options.frameLog)},
          {"frames", last.times.logCount},
          {"frames_timed", last.times.frame.total},
          {"limit", FrameLogLimit}};
}

void WarnFrameLogFull(const RunnerOptions& options, const RunnerResult& result) {
  if (options.frameLog.empty() || result.runs.empty()) return;
  const RunRecord& last = result.runs.back();
  if (last.times.logCount >= last.times.frame.total) return;
  fprintf(stderr,
          "torvex32-bench: --frame-log: %s holds the first %" PRId64 " of the last run's %" PRId64
          " timed frames (it holds at most %" PRId64 ")\n",
          options.frameLog.c_str(), last.times.logCount, last.times.frame.total, FrameLogLimit);
}
