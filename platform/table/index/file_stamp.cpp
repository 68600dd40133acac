#include "platform/table/index/file_stamp.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>

namespace mv::index {

namespace {

// Where a fault inside guarded_copy() returns to; null outside it.
thread_local sigjmp_buf* volatile t_guard = nullptr;
struct sigaction g_previous;

void on_sigbus(int sig, siginfo_t* info, void* ctx) {
  if (sigjmp_buf* g = t_guard) {
    t_guard = nullptr;
    siglongjmp(*g, 1);  // SA_NODEFER: the signal is not left blocked after the jump
  }
  // Not ours: whatever handled the signal before handles it now.
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction) {
      g_previous.sa_sigaction(sig, info, ctx);
      return;
    }
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(sig);
    return;
  }
  // Default action: restored, and the faulting access runs again and ends the process.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(SIGBUS, &dfl, nullptr);
}

void install_once() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction sa {};
    sa.sa_sigaction = on_sigbus;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGBUS, &sa, &g_previous);
  });
}

// Apart from the caller so that nothing of the caller's lives across the jump.
[[gnu::noinline]] bool copy_under_guard(void* dst, const volatile uint8_t* src, size_t n) {
  sigjmp_buf jb;
  if (sigsetjmp(jb, 0) != 0) return false;  // no mask saved: no system call on the way
  t_guard = &jb;
  std::atomic_signal_fence(std::memory_order_seq_cst);  // armed before the first read
  auto* d = static_cast<uint8_t*>(dst);
  for (size_t i = 0; i < n; ++i) d[i] = src[i];
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_guard = nullptr;
  return true;
}

}  // namespace

bool guarded_copy(void* dst, const uint8_t* mapped, size_t n) {
  static const bool installed = (install_once(), true);
  (void)installed;
  return copy_under_guard(dst, mapped, n);
}

}  // namespace mv::index
