// Runs a fuzz target over every file of its corpus folder (the crash-free inputs kept in
// fuzz/corpus/), so the normal build checks them without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++n;
  }
  std::printf("%zu inputs ran without a crash\n", n);
  return n == 0 ? 1 : 0;
}
