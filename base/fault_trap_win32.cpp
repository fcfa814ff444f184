// Win32 side of the fault trap: a vectored exception handler, a register
// checkpoint taken where the work starts, and thread-context redirection.
// x86 (the product) and x64 (the 64-bit test flavour). See base/fault_trap.h.
#include <windows.h>
#include <malloc.h>  // _resetstkoflw

#include <new>

#include "base/fault_trap.h"
#include "base/sync.h"

// Saves the registers that a resumed caller relies on (the callee-saved
// ones, the stack pointer as it is after the return, the return address, the
// x87 control word and MXCSR, whose rounding and precision modes every call
// preserves; on x86 also the head of the thread's SEH frame chain), then
// returns 0. The fault handler later resumes the caller at that return with
// these registers and eax = 1, like a setjmp whose longjmp happens through
// the thread context, so no frame between the fault and the checkpoint is
// ever unwound.
extern "C" __attribute__((returns_twice)) int tw_TrapCheckpoint(tw::sTrapCheckpoint* checkpoint);

#if defined(__x86_64__)
// x64: the Windows ABI's callee-saved registers are rbx, rbp, rdi, rsi,
// r12-r15 and xmm6-xmm15. The layout (in 8-byte words) matches the enum below.
asm(R"(
    .text
    .globl tw_TrapCheckpoint
    .def tw_TrapCheckpoint; .scl 2; .type 32; .endef
tw_TrapCheckpoint:
    movq %rbx, 0(%rcx)
    movq %rbp, 8(%rcx)
    movq %rdi, 16(%rcx)
    movq %rsi, 24(%rcx)
    movq %r12, 32(%rcx)
    movq %r13, 40(%rcx)
    movq %r14, 48(%rcx)
    movq %r15, 56(%rcx)
    leaq 8(%rsp), %rdx
    movq %rdx, 64(%rcx)
    movq (%rsp), %rdx
    movq %rdx, 72(%rcx)
    fnstcw 80(%rcx)
    stmxcsr 88(%rcx)
    movups %xmm6, 96(%rcx)
    movups %xmm7, 112(%rcx)
    movups %xmm8, 128(%rcx)
    movups %xmm9, 144(%rcx)
    movups %xmm10, 160(%rcx)
    movups %xmm11, 176(%rcx)
    movups %xmm12, 192(%rcx)
    movups %xmm13, 208(%rcx)
    movups %xmm14, 224(%rcx)
    movups %xmm15, 240(%rcx)
    xorl %eax, %eax
    ret
)");

// The other half (x64): the thread is redirected here with rcx pointing at
// the checkpoint and rsp already restored. It reloads the callee-saved
// registers, the vector ones included (not through the thread context, whose
// vector part the system may or may not apply), and returns 1 from the
// checkpoint. It uses no stack.
extern "C" void tw_TrapResume();
asm(R"(
    .text
    .globl tw_TrapResume
    .def tw_TrapResume; .scl 2; .type 32; .endef
tw_TrapResume:
    movups 96(%rcx), %xmm6
    movups 112(%rcx), %xmm7
    movups 128(%rcx), %xmm8
    movups 144(%rcx), %xmm9
    movups 160(%rcx), %xmm10
    movups 176(%rcx), %xmm11
    movups 192(%rcx), %xmm12
    movups 208(%rcx), %xmm13
    movups 224(%rcx), %xmm14
    movups 240(%rcx), %xmm15
    movq 0(%rcx), %rbx
    movq 8(%rcx), %rbp
    movq 16(%rcx), %rdi
    movq 24(%rcx), %rsi
    movq 32(%rcx), %r12
    movq 40(%rcx), %r13
    movq 48(%rcx), %r14
    movq 56(%rcx), %r15
    movq 64(%rcx), %rsp
    movl $1, %eax
    jmpq *72(%rcx)
)");
#else
asm(R"(
    .text
    .globl _tw_TrapCheckpoint
    .def _tw_TrapCheckpoint; .scl 2; .type 32; .endef
_tw_TrapCheckpoint:
    movl 4(%esp), %eax
    movl %ebx, 0(%eax)
    movl %esi, 4(%eax)
    movl %edi, 8(%eax)
    movl %ebp, 12(%eax)
    leal 4(%esp), %ecx
    movl %ecx, 16(%eax)
    movl (%esp), %ecx
    movl %ecx, 20(%eax)
    movl %fs:0, %ecx
    movl %ecx, 24(%eax)
    fnstcw 28(%eax)
    stmxcsr 32(%eax)
    xorl %eax, %eax
    ret
)");
#endif

// The first byte of the program image (its DOS header), placed by the linker.
extern "C" const unsigned char __ImageBase[];

namespace tw {

namespace {

#if defined(__x86_64__)
// Word indices of the checkpoint (see tw_TrapCheckpoint); the vector
// registers follow from word 12 on.
enum : int { kRbx, kRbp, kRdi, kRsi, kR12, kR13, kR14, kR15, kRsp, kRip, kFpuControl, kMxcsr };
uint64_t InstructionPointer(const CONTEXT& context) { return context.Rip; }
#else
enum : int { kEbx, kEsi, kEdi, kEbp, kEsp, kEip, kSehChain, kFpuControl, kMxcsr };
uint64_t InstructionPointer(const CONTEXT& context) { return context.Eip; }
#endif

// TLS index of the thread's innermost armed trap, allocated on first use.
volatile LONG g_trapSlot = static_cast<LONG>(TLS_OUT_OF_INDEXES);
volatile LONG g_handlerInstalled = 0;

DWORD TrapSlot() {
  const LONG current = g_trapSlot;
  if (current != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(current);
  const DWORD fresh = TlsAlloc();
  if (fresh == TLS_OUT_OF_INDEXES) throw std::bad_alloc();
  const LONG previous = InterlockedCompareExchange(&g_trapSlot, static_cast<LONG>(fresh),
                                                   static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (previous != static_cast<LONG>(TLS_OUT_OF_INDEXES)) {
    TlsFree(fresh);
    return static_cast<DWORD>(previous);
  }
  return fresh;
}

cFaultTrap* ChainHead() {
  const DWORD error = GetLastError();  // TlsGetValue clears it
  auto* head = static_cast<cFaultTrap*>(TlsGetValue(TrapSlot()));
  SetLastError(error);
  return head;
}

void SetChainHead(cFaultTrap* trap) { TlsSetValue(TrapSlot(), trap); }

// Exception codes of processor faults. Everything else (breakpoints, debug
// output, guard pages, exceptions raised by software) is left alone.
bool IsFaultCode(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case 0xC00002B4:  // STATUS_FLOAT_MULTIPLE_FAULTS (SSE)
    case 0xC00002B5:  // STATUS_FLOAT_MULTIPLE_TRAPS (SSE)
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:
      return false;
  }
}

// Called while another thread is suspended, which may hold the loader lock
// or a heap lock: no system call may be made here (GetModuleHandleW takes
// the loader lock under Wine). The linker's __ImageBase is the program
// image's own header.
bool IsInProgramImage(uint64_t address) {
  const unsigned char* base = __ImageBase;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const uint64_t start = reinterpret_cast<uintptr_t>(base);
  return address >= start && address - start < nt->OptionalHeader.SizeOfImage;
}

}  // namespace

struct sFaultTrapAccess {
  // Points the thread's registers at the trap's checkpoint, returning 1.
  static void ResumeAt(CONTEXT* context, const cFaultTrap& trap) {
    const auto* w = trap.checkpoint_.words;
#if defined(__x86_64__)
    // Through tw_TrapResume, which loads the rest; on the work's original
    // stack at once (after a stack overflow the current one is used up).
    context->Rsp = w[kRsp];
    context->Rcx = reinterpret_cast<uintptr_t>(&trap.checkpoint_);
    context->Rip = reinterpret_cast<uintptr_t>(&tw_TrapResume);
#else
    context->Ebx = w[kEbx];
    context->Esi = w[kEsi];
    context->Edi = w[kEdi];
    context->Ebp = w[kEbp];
    context->Esp = w[kEsp];
    context->Eip = w[kEip];
    context->Eax = 1;
#endif
    context->EFlags &= ~0x400u;  // the direction flag is clear at every call
  }

  static LONG CALLBACK Handle(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (!IsFaultCode(record->ExceptionCode) || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0)
      return EXCEPTION_CONTINUE_SEARCH;
    if (g_trapSlot == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return EXCEPTION_CONTINUE_SEARCH;
    for (cFaultTrap* trap = ChainHead(); trap != nullptr; trap = trap->previous_) {
      if (!trap->IsArmed() || trap->deciding_) continue;  // a fault inside its own decider
      sFaultRecord fault;
      fault.code = record->ExceptionCode;
      fault.address = reinterpret_cast<uintptr_t>(record->ExceptionAddress);
      fault.platformInfo = info;
      eFaultVerdict verdict = eFaultVerdict::kRecover;
      if (trap->decide_ != nullptr) {
        trap->deciding_ = true;
        verdict = trap->decide_(trap->context_, fault);
        trap->deciding_ = false;
      }
      if (verdict == eFaultVerdict::kPass) continue;
      if (verdict == eFaultVerdict::kRetry) return EXCEPTION_CONTINUE_EXECUTION;
      fault.platformInfo = nullptr;
      trap->fault_ = fault;
      ResumeAt(info->ContextRecord, *trap);
      return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }

  // On the resumed thread, back in Run: the state that the abandoned frames
  // may have left behind is put right.
  static void Recovered(cFaultTrap& trap) {
    // The x87 register stack may hold values of the abandoned code; every
    // call boundary expects it empty. fninit also resets the control word,
    // and the abandoned code may have changed MXCSR: both get the values
    // they had where the work started (a fault must not leave the thread
    // rounding differently).
    const uint16_t fpuControl = static_cast<uint16_t>(trap.checkpoint_.words[kFpuControl]);
    const uint32_t mxcsr = static_cast<uint32_t>(trap.checkpoint_.words[kMxcsr]);
    asm volatile("fninit\n\tfldcw %0" : : "m"(fpuControl));
    asm volatile("ldmxcsr %0" : : "m"(mxcsr));
#if !defined(__x86_64__)
    // SEH frames registered by abandoned system code lie in reused stack.
    // (NT_TIB.ExceptionList, the first word that fs addresses on x86; x64
    // has no such chain: its handlers are found from tables by address.)
    asm volatile("movl %0, %%fs:0" : : "r"(trap.checkpoint_.words[kSehChain]) : "memory");
#endif
    // A stack overflow used up the stack's guard page, and Windows does not
    // put it back by itself: without it the next overflow on this thread
    // would end the process instead of reaching a trap. The stack pointer
    // is back at the checkpoint, where the runtime can place a new one.
    if (trap.fault_.code == EXCEPTION_STACK_OVERFLOW) trap.fault_.stackGuardRestored = _resetstkoflw() != 0;
    // Traps armed inside the abandoned work are abandoned with it.
    for (cFaultTrap* t = ChainHead(); t != nullptr && t != &trap; t = t->previous_) {
      t->armed_.store(false, std::memory_order_relaxed);
      t->deciding_ = false;
    }
    trap.deciding_ = false;
    trap.armed_.store(false, std::memory_order_relaxed);
    SetChainHead(trap.previous_);
  }
};

cFaultTrap::cFaultTrap(Decider decide, void* context) : decide_(decide), context_(context) {
  TrapSlot();  // allocated before the handler can ask for it
  if (InterlockedCompareExchange(&g_handlerInstalled, 1, 0) == 0) {
    // First in the list: faults of armed threads are ours before anyone's.
    AddVectoredExceptionHandler(1, &sFaultTrapAccess::Handle);
  }
}

cFaultTrap::~cFaultTrap() = default;

bool cFaultTrap::Run(void (*work)(void*), void* arg) {
  previous_ = ChainHead();
  if (tw_TrapCheckpoint(&checkpoint_) != 0) {
    sFaultTrapAccess::Recovered(*this);
    return false;
  }
  SetChainHead(this);
  armed_.store(true, std::memory_order_relaxed);
  struct sDisarm {
    cFaultTrap* trap;
    ~sDisarm() {
      trap->armed_.store(false, std::memory_order_relaxed);
      SetChainHead(trap->previous_);
    }
  } disarm{this};
  work(arg);
  return true;
}

bool cFaultTrap::InterruptSuspended(void* thread, cFaultTrap* const* candidates, int count,
                                    const cPublishedLockCount& locks) {
  CONTEXT context = {};
  context.ContextFlags = CONTEXT_FULL;
  // Reading the context also waits until the suspension has taken effect,
  // so the checks below see the thread's state as it stands.
  if (GetThreadContext(static_cast<HANDLE>(thread), &context) == 0) return false;
  if (!IsInProgramImage(InstructionPointer(context))) return false;  // inside a system library
  if (locks.Value() != 0) return false;              // holds one of our locks
  cFaultTrap* trap = nullptr;
  for (int i = 0; i < count && trap == nullptr; ++i)
    if (candidates[i] != nullptr && candidates[i]->IsArmed()) trap = candidates[i];
  // Not armed: the thread is between two pieces of work. Deciding: it is in
  // the middle of the system's exception dispatch.
  if (trap == nullptr || trap->deciding_) return false;
  sFaultRecord fault;
  fault.address = InstructionPointer(context);
  fault.interrupted = true;
  trap->fault_ = fault;
  sFaultTrapAccess::ResumeAt(&context, *trap);
  return SetThreadContext(static_cast<HANDLE>(thread), &context) != 0;
}

}  // namespace tw
