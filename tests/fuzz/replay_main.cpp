// Runs a fuzz target built without libFuzzer: NAME_replay FILE|DIR... replays
// each file, and each file of each folder (ctest runs it over the target's
// seed corpus). A target reports a broken rule by aborting, as under
// libFuzzer; scripts/fuzz runs the targets under libFuzzer itself.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// Replays one file; tells whether it could be read.
bool Replay(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << path.string() << "\n";
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: " << argv[0] << " FILE|DIR...\n";
    return 2;
  }
  int count = 0, failed = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files;
    if (fs::is_directory(argv[i])) {
      for (const auto& entry : fs::directory_iterator(argv[i]))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
      files.push_back(argv[i]);
    }
    for (const fs::path& f : files) (Replay(f) ? count : failed) += 1;
  }
  std::cout << "replayed " << count << " inputs\n";
  return failed || count == 0 ? 1 : 0;
}
