// Fault reporting for threads that asked for it, and the pure-virtual-call hook. The signals
// themselves are handled by the platform layer; this file names the faults.
#include <signal.h>  // signal numbers and si_code values for CodeFromSignal

#include "core/Throw.h"
#include "platform/Faults.h"
#include "qel/core/Exceptions.h"

namespace Qel {
namespace Detail {
const char* StructuredExceptionText(std::uint32_t code);
}

std::uint32_t StructuredException::CodeFromSignal(int signal, int signalCode) {
  switch (signal) {
    case SIGSEGV:
      return 0xC0000005;
    case SIGBUS:
      return signalCode == BUS_ADRALN ? 0x80000002 : 0xC0000006;
    case SIGILL:
      return signalCode == ILL_PRVOPC || signalCode == ILL_PRVREG ? 0xC0000096 : 0xC000001D;
    case SIGTRAP:
      return signalCode == TRAP_TRACE ? 0x80000004 : 0x80000003;
    case SIGFPE:
      switch (signalCode) {
        case FPE_INTDIV:
          return 0xC0000094;
        case FPE_INTOVF:
          return 0xC0000095;
        case FPE_FLTDIV:
          return 0xC000008E;
        case FPE_FLTOVF:
          return 0xC0000091;
        case FPE_FLTUND:
          return 0xC0000093;
        case FPE_FLTRES:
          return 0xC000008F;
        case FPE_FLTSUB:
          return 0xC000008C;
        default:
          return 0xC0000090;
      }
    default:
      return 0;
  }
}

namespace {

// Runs inside the signal handler: only async-signal-safe calls.
void ReportFault(const Platform::FaultInfo& fault) {
  std::uint32_t code = StructuredException::CodeFromSignal(fault.signal, fault.signalCode);
  if (fault.signal == SIGSEGV && fault.nearThreadStack) code = 0xC00000FD;
  Platform::WriteToStandardError("StructuredException. ");
  const char* text = Detail::StructuredExceptionText(code);
  Platform::WriteToStandardError(text ? text : "Unknown structured exception.");
  Platform::WriteToStandardError("\n");
}

}  // namespace

void StructuredException::InititalizeStructuredExceptionHandling() {
  Platform::InstallFaultHandlers(ReportFault);
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
