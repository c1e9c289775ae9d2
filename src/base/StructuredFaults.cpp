// Fault reporting for threads that asked for it, and the pure-virtual-call hook.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "base/Throw.h"
#include "qel/base/Exceptions.h"

namespace Qel {
namespace Detail {
const char* StructuredExceptionText(std::uint32_t code);
}

std::uint32_t StructuredException::CodeFromSignal(int signal, int signalCode) {
  switch (signal) {
    case SIGSEGV: return 0xC0000005;
    case SIGBUS: return signalCode == BUS_ADRALN ? 0x80000002 : 0xC0000006;
    case SIGILL: return signalCode == ILL_PRVOPC || signalCode == ILL_PRVREG ? 0xC0000096 : 0xC000001D;
    case SIGTRAP: return signalCode == TRAP_TRACE ? 0x80000004 : 0x80000003;
    case SIGFPE:
      switch (signalCode) {
        case FPE_INTDIV: return 0xC0000094;
        case FPE_INTOVF: return 0xC0000095;
        case FPE_FLTDIV: return 0xC000008E;
        case FPE_FLTOVF: return 0xC0000091;
        case FPE_FLTUND: return 0xC0000093;
        case FPE_FLTRES: return 0xC000008F;
        case FPE_FLTSUB: return 0xC000008C;
        default: return 0xC0000090;
      }
    default: return 0;
  }
}

namespace {

constexpr std::size_t kAltStackSize = 64 * 1024;

// Bounds of the calling thread's stack, to tell a stack overflow from other access faults.
thread_local char* t_stackLow = nullptr;
thread_local char* t_stackHigh = nullptr;

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

void WriteAll(const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

void OnFault(int signal, siginfo_t* info, void*) {
  std::uint32_t code = StructuredException::CodeFromSignal(signal, info->si_code);
  char* address = static_cast<char*>(info->si_addr);
  if (signal == SIGSEGV && t_stackLow != nullptr && address < t_stackHigh &&
      address + 256 * 1024 >= t_stackLow) {
    code = 0xC00000FD;
  }
  WriteAll("StructuredException. ");
  const char* text = Detail::StructuredExceptionText(code);
  WriteAll(text ? text : "Unknown structured exception.");
  WriteAll("\n");
  // The handler was installed with SA_RESETHAND, so the default action is back: raising the
  // signal again ends the process with the usual signal status (a fault re-run on return
  // would do the same, but a signal sent with kill or raise would not).
  raise(signal);
}

}  // namespace

void StructuredException::InititalizeStructuredExceptionHandling() {
  if (t_altStack.memory.empty()) {
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
        t_stackLow = static_cast<char*>(low);
        t_stackHigh = t_stackLow + size;
      }
      pthread_attr_destroy(&attr);
    }
  }
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

}  // namespace Qel

// Calls of pure virtual functions in the library's own classes throw BaseException
// ErrorId::PureVirtualCall instead of aborting. Hidden, so that other modules of the process
// keep their runtime's hook.
extern "C" __attribute__((visibility("hidden"), noreturn)) void __cxa_pure_virtual() {
  Qel::Detail::Throw(Qel::ErrorId::PureVirtualCall);
}

namespace Qel::Detail {
struct PureBase;
// Out of line and opaque, so that the compiler cannot see which override the call reaches.
#if defined(__clang__)
__attribute__((noinline, optnone)) void Invoke(PureBase* object);
#else
__attribute__((noipa)) void Invoke(PureBase* object);
#endif

struct PureBase {
  PureBase() { Invoke(this); }
  virtual ~PureBase() = default;
  virtual void Run() = 0;
};

void Invoke(PureBase* object) {
  asm volatile("" : "+r"(object) : : "memory");
  object->Run();
}
struct PureDerived : PureBase {
  void Run() override {}
};

// Makes a pure virtual call inside the library (the call during PureBase's construction),
// so that tests can check the hook.
void CallPureVirtualFunction() { PureDerived object; }
}  // namespace Qel::Detail
