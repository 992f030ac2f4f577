// Runs a fuzz target built without libFuzzer:
//   NAME_replay FILE|DIR...          replays each file (ctest runs it over the
//                                    target's seed corpus)
//   NAME_replay --random N DIR [SEED] runs N inputs made from the seeds of DIR
//                                    by random byte changes, cuts, insertions
//                                    and splices, and prints how many ran in
//                                    how many seconds
// A target reports a broken rule by aborting, as under libFuzzer.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool ReadFile(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

void Run(const std::string& bytes) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> Seeds(const std::vector<fs::path>& paths, int& failed) {
  std::vector<std::string> out;
  for (const fs::path& p : paths) {
    std::vector<fs::path> files;
    if (fs::is_directory(p)) {
      for (const auto& entry : fs::directory_iterator(p))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
      files.push_back(p);
    }
    for (const fs::path& f : files) {
      std::string bytes;
      if (!ReadFile(f, bytes)) {
        std::cerr << "cannot read " << f.string() << "\n";
        ++failed;
        continue;
      }
      out.push_back(std::move(bytes));
    }
  }
  return out;
}

// Returns a variation of one seed, sometimes spliced with another.
std::string Mutate(const std::vector<std::string>& seeds, std::mt19937_64& rng) {
  std::string s = seeds[rng() % seeds.size()];
  const int steps = 1 + static_cast<int>(rng() % 8);
  for (int i = 0; i < steps; ++i) {
    const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
    switch (rng() % 6) {
      case 0: if (at < s.size()) s[at] = static_cast<char>(rng()); break;
      case 1: s.insert(at, 1 + rng() % 4, static_cast<char>("0123456789 \t\0\xFF"[rng() % 15])); break;
      case 2: s.erase(at, rng() % 16); break;
      case 3: s.resize(at); break;
      case 4: {
        const std::string& other = seeds[rng() % seeds.size()];
        const std::size_t from = other.empty() ? 0 : rng() % other.size();
        s.insert(at, other.substr(from, rng() % 64));
        break;
      }
      default: if (at < s.size()) s[at] = static_cast<char>('0' + rng() % 10); break;
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int failed = 0;
  if (args.size() >= 3 && args[0] == "--random") {
    const long n = std::atol(args[1].c_str());
    const std::vector<std::string> seeds = Seeds({args[2]}, failed);
    if (seeds.empty() || n <= 0) {
      std::cerr << "no seeds in " << args[2] << "\n";
      return 1;
    }
    std::mt19937_64 rng(args.size() > 3 ? std::strtoull(args[3].c_str(), nullptr, 10) : 1);
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < n; ++i) Run(Mutate(seeds, rng));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "ran " << n << " random inputs in " << seconds << " s\n";
    return 0;
  }
  if (args.empty()) {
    std::cerr << "usage: " << argv[0] << " FILE|DIR...\n       " << argv[0] << " --random N DIR [SEED]\n";
    return 2;
  }
  std::vector<fs::path> paths(args.begin(), args.end());
  const std::vector<std::string> inputs = Seeds(paths, failed);
  for (const std::string& bytes : inputs) Run(bytes);
  std::cout << "replayed " << inputs.size() << " inputs\n";
  return failed || inputs.empty() ? 1 : 0;
}
