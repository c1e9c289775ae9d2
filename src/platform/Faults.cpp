#include "platform/Faults.h"
#include "platform/Platform.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Qel::Platform {

namespace {

constexpr std::size_t kAltStackSize = 64 * 1024;
// A fault this far below the stack's low end still counts as running off the stack.
constexpr std::uintptr_t kStackGuardReach = 256 * 1024;

std::atomic<FaultReporter> g_reporter{nullptr};

// Bounds of the calling thread's stack, to tell a stack overflow from other access faults.
thread_local std::uintptr_t t_stackLow = 0;
thread_local std::uintptr_t t_stackHigh = 0;

struct AltStack {
  std::vector<char> memory;
  ~AltStack() {
    if (memory.empty()) return;
    stack_t ss{};
    ss.ss_flags = SS_DISABLE;
    sigaltstack(&ss, nullptr);
  }
};
thread_local AltStack t_altStack;

void OnFault(int signal, siginfo_t* info, void*) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  FaultInfo fault;
  fault.signal = signal;
  fault.signalCode = info->si_code;
  fault.address = info->si_addr;
  fault.nearThreadStack =
      t_stackLow != 0 && address < t_stackHigh && address + kStackGuardReach >= t_stackLow;
  if (FaultReporter reporter = g_reporter.load(std::memory_order_acquire)) reporter(fault);
  // The handler was installed with SA_RESETHAND, so the default action is back: raising the
  // signal again ends the process with the usual signal status (a fault re-run on return
  // would do the same, but a signal sent with kill or raise would not).
  raise(signal);
}

void PrepareThread() {
  if (!t_altStack.memory.empty()) return;
  t_altStack.memory.resize(kAltStackSize);
  stack_t ss{};
  ss.ss_sp = t_altStack.memory.data();
  ss.ss_size = t_altStack.memory.size();
  sigaltstack(&ss, nullptr);
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* low = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attr, &low, &size) == 0) {
      t_stackLow = reinterpret_cast<std::uintptr_t>(low);
      t_stackHigh = t_stackLow + size;
    }
    pthread_attr_destroy(&attr);
  }
}

}  // namespace

void InstallFaultHandlers(FaultReporter reporter) {
  PrepareThread();
  g_reporter.store(reporter, std::memory_order_release);
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  // Only where the process has no handler of its own: a host's (or a sanitizer's) handler
  // stays in place.
  for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0) continue;
    const bool isDefault = !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL;
    if (isDefault || current.sa_sigaction == OnFault) sigaction(signal, &action, nullptr);
  }
}

void WriteToStandardError(const char* text) { WriteFully(STDERR_FILENO, text, std::strlen(text)); }

}  // namespace Qel::Platform
