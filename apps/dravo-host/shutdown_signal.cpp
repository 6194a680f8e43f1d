#include <dravo-host/shutdown_signal.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <pthread.h>
#  include <csignal>
#endif

namespace dravo::host {

namespace {

constexpr int kStoppedAgain = 130;  // as a shell reports an interrupted command

std::mutex actionMutex;
std::function<void()> action;
std::atomic<int> requests{0};

void OnRequest() {
  if (requests.fetch_add(1) > 0) std::_Exit(kStoppedAgain);
  std::function<void()> stop;
  {
    std::lock_guard lock(actionMutex);
    stop = action;
  }
  if (!stop) std::_Exit(kStoppedAgain);
  std::thread(std::move(stop)).detach();
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
  OnRequest();
  return TRUE;
}
#endif

}  // namespace

void SetStopAction(std::function<void()> stop) {
  std::lock_guard lock(actionMutex);
  action = std::move(stop);
}

#ifdef _WIN32

void WatchStopRequests() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

#else

void WatchStopRequests() {
  // Blocked here, and so in every thread started later: only the waiter
  // takes them, as ordinary work instead of in a signal handler.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) == 0) OnRequest();
    }
  }).detach();
}

#endif

}  // namespace dravo::host
