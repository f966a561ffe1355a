// Runs a libFuzzer entry point without libFuzzer: replays a corpus, then a bounded run of mutated inputs.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::vector<uint8_t>> readCorpus(const std::filesystem::path& dir) {
  std::vector<std::vector<uint8_t>> inputs;
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    return inputs;
  }
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.is_regular_file()) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return inputs;
}

// Each input is run from its own heap copy of exactly its size, so AddressSanitizer catches any read
// past the end.
void runOne(const std::vector<uint8_t>& input) {
  auto* copy = static_cast<uint8_t*>(std::malloc(input.empty() ? 1 : input.size()));
  if (!input.empty()) {
    std::memcpy(copy, input.data(), input.size());
  }
  LLVMFuzzerTestOneInput(copy, input.size());
  std::free(copy);
}

std::vector<uint8_t> mutate(const std::vector<uint8_t>& base, std::mt19937& rng,
                            const std::vector<std::vector<uint8_t>>& corpus) {
  std::vector<uint8_t> out = base;
  static const char kInteresting[] = "\"\\,=&+?%<>#;[]\r\n\t \x00\xff\x80";
  int steps = 1 + static_cast<int>(rng() % 8);
  for (int i = 0; i < steps; ++i) {
    switch (rng() % 6) {
    case 0:  // flip a byte
      if (!out.empty()) {
        out[rng() % out.size()] = static_cast<uint8_t>(rng());
      }
      break;
    case 1:  // insert an interesting byte
      out.insert(out.begin() + static_cast<long>(out.empty() ? 0 : rng() % (out.size() + 1)),
                 static_cast<uint8_t>(kInteresting[rng() % (sizeof kInteresting - 1)]));
      break;
    case 2:  // erase a range
      if (!out.empty()) {
        size_t at = rng() % out.size();
        size_t len = std::min<size_t>(out.size() - at, 1 + rng() % 16);
        out.erase(out.begin() + static_cast<long>(at), out.begin() + static_cast<long>(at + len));
      }
      break;
    case 3:  // truncate
      if (!out.empty()) {
        out.resize(rng() % out.size());
      }
      break;
    case 4:  // splice in part of another corpus input
      if (!corpus.empty()) {
        const auto& other = corpus[rng() % corpus.size()];
        if (!other.empty()) {
          size_t at = rng() % other.size();
          size_t len = std::min<size_t>(other.size() - at, 1 + rng() % 64);
          out.insert(out.begin() + static_cast<long>(out.empty() ? 0 : rng() % (out.size() + 1)),
                     other.begin() + static_cast<long>(at), other.begin() + static_cast<long>(at + len));
        }
      }
      break;
    default:  // random bytes
      for (int n = static_cast<int>(rng() % 8); n > 0; --n) {
        out.push_back(static_cast<uint8_t>(rng()));
      }
      break;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path corpusDir;
  long runs = 1000;
  double seconds = 5;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--corpus" && i + 1 < argc) {
      corpusDir = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::strtod(argv[++i], nullptr);
    } else {
      files.push_back(arg);
    }
  }
  auto corpus = readCorpus(corpusDir);
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  corpus.emplace_back();  // the empty input always runs
  for (const auto& input : corpus) {
    runOne(input);
  }
  std::mt19937 rng(12345);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  long done = 0;
  while (done < runs && std::chrono::steady_clock::now() < deadline) {
    runOne(mutate(corpus[rng() % corpus.size()], rng, corpus));
    ++done;
  }
  std::printf("%zu corpus inputs and %ld mutated inputs ran clean\n", corpus.size(), done);
  return 0;
}
