#include "platform/table/modes.h"

#include <atomic>
#include <mutex>

namespace mv {

namespace {
std::atomic<bool> g_deleted_filter{false};
std::atomic<bool> g_ansi{false};
std::atomic<bool> g_exclusive{false};
std::mutex g_driver_mutex;
std::string g_default_driver = "DBFCDX";
}  // namespace

void set_deleted_filter(bool hide) { g_deleted_filter.store(hide, std::memory_order_relaxed); }
bool deleted_filter() { return g_deleted_filter.load(std::memory_order_relaxed); }
void set_ansi_mode(bool ansi) { g_ansi.store(ansi); }
bool ansi_mode() { return g_ansi.load(); }
void set_exclusive_default(bool exclusive) { g_exclusive.store(exclusive); }
bool exclusive_default() { return g_exclusive.load(); }
void set_default_driver(std::string driver) {
  std::lock_guard<std::mutex> lock(g_driver_mutex);
  g_default_driver = std::move(driver);
}
std::string default_driver() {
  std::lock_guard<std::mutex> lock(g_driver_mutex);
  return g_default_driver;
}

}  // namespace mv
