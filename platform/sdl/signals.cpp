// signals.cpp — the system's requests to stop (SIGINT, SIGTERM, SIGHUP, SIGQUIT). The handlers
// only note the signal; the message queue turns a noted request into WM_CLOSE for the main
// window, so the program ends through its normal shut-down and its temporary files go with it.
//
// Two cases cannot wait for the queue: a message box blocks the thread in the window system's
// own loop, and a second request means the first one did not get through. Then the handler
// itself deletes the temporary files still noted here and ends the process at once.
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "platform/sdl/backend.h"

namespace {

volatile sig_atomic_t stopSignal = 0;   // the first request's signal; written by the handler
volatile sig_atomic_t boxOpen = 0;      // a message box blocks the thread
bool stopPassed = false;                // WM_CLOSE went to the window for the request

[[noreturn]] void EndAtOnce(int signal) {
  DeleteNotedTempFiles();
  _exit(128 + signal);
}

void OnStopSignal(int signal) {
  if (stopSignal != 0 || boxOpen != 0) EndAtOnce(stopSignal != 0 ? stopSignal : signal);
  stopSignal = signal;
}

// SDL shows a message box on X11 from a forked process of its own and waits for it. Should the
// program end meanwhile (a stop while the box is up ends it at once), that process would stay
// on screen under init, holding the program's standard output open, so that a reader of it
// (torvex32 | cat) never sees its end. The box's process ends with the program instead.
pid_t forkingProgram = 0;
void NoteForkingProgram() { forkingProgram = getpid(); }
void BoxProcessEndsWithUs() {
  if (boxOpen == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != forkingProgram) _exit(1);  // the program ended before the line above
}

}  // namespace

void CatchStopSignals() {
  static bool forkHooked = false;
  if (!forkHooked) forkHooked = pthread_atfork(NoteForkingProgram, nullptr, BoxProcessEndsWithUs) == 0;
  // SDL's own handlers would turn the signals into a quit event, which a message box or the
  // time before the window exists would swallow.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  constexpr int Requests[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  CatchUnlessIgnored(Requests, sizeof Requests / sizeof *Requests, OnStopSignal, SA_RESTART);
  // A reader that went away (a closed pipe on the standard output) must not end the program
  // before it has cleaned up: the write fails instead.
  signal(SIGPIPE, SIG_IGN);
}

int32_t GetStopSignal() { return stopSignal; }

void CatchUnlessIgnored(const int* signals, size_t count, void (*handler)(int), int flags) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  for (size_t i = 0; i < count; ++i) {
    // A signal ignored by whoever started us stays ignored: nohup, or a shell's background job
    // (and the processes we start inherit that).
    struct sigaction before;
    if (sigaction(signals[i], nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signals[i], &action, nullptr);
  }
}

void PassStopRequest() {
  if (stopSignal == 0 || stopPassed) return;
  PlatformWindow* w = CurrentWindow();
  if (w == nullptr) return;  // not created yet: the request waits for it
  stopPassed = true;
  QueueMessage(reinterpret_cast<WindowHandle>(w), WM_CLOSE, 0, 0);
}

void NoteMessageBox(bool open) {
  boxOpen = open ? 1 : 0;
  if (open && stopSignal != 0) EndAtOnce(stopSignal);  // the request came just before the box
}
