// Runs a fuzz target without libFuzzer: on each file named on the command line, or, with
// --random N, on N pseudo-random inputs from a fixed seed, so that the ordinary test run keeps
// the target exercised.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--random") == 0) {
    std::mt19937 random(1);
    const long runs = std::strtol(argv[2], nullptr, 10);
    for (long run = 0; run < runs; ++run) {
      std::vector<uint8_t> data(random() % 4096);
      for (auto& byte : data) byte = uint8_t(random());
      LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%ld random inputs ran\n", runs);
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    const std::vector<uint8_t> data{std::istreambuf_iterator<char>(file), {}};
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  return 0;
}
