// Synchronous fault signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE): an alternate signal stack per
// thread and one-shot handlers that hand the fault to a reporter, then end the process with
// the same signal. Nothing throws; callable from any thread.
#pragma once

namespace Qel::Platform {

struct FaultInfo {
  int signal = 0;
  int signalCode = 0;             // the signal's si_code
  const void* address = nullptr;  // the faulting address (si_addr)
  bool nearThreadStack = false;   // within the thread's stack or up to 256 KiB below it
};

// Called inside the signal handler, on the alternate stack: it may only make
// async-signal-safe calls.
using FaultReporter = void (*)(const FaultInfo& fault);

// The first call on a thread gives it an alternate signal stack (kept until the thread ends)
// and notes its stack bounds. Every call installs `reporter` and one-shot handlers for the
// four signals where the handler is still the default or one installed here, so that a
// host's or a sanitizer's handler stays. When `reporter` returns, the signal is raised again
// with its default action, which ends the process with the usual signal status.
void InstallFaultHandlers(FaultReporter reporter);

// Writes `text` (NUL-terminated) to standard error; async-signal-safe.
void WriteToStandardError(const char* text);

}  // namespace Qel::Platform
