#pragma once
// Runs a shell command for the tests that let other programs read our files; answers what
// it printed and, through `status`, its wait status.
#include <cstdio>
#include <string>

namespace mv::test_tools {

inline std::string run_command(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  if (status) *status = st;
  return out;
}

}  // namespace mv::test_tools
