// Md5Digest against OpenSSL's MD5 (EVP_Digest) on the same inputs, in the
// same run. The target is a ratio of at least 0.95 at every size.
#include <openssl/evp.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "archive/md5_digest.h"
#include "bench/ratio_reporter.h"
#include "tests/support/sample_package.h"

namespace {

void digest_with_md5_digest(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    std::string digest = vcboot::Md5Digest(text).digest_bytes();
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(text.size()));
}

void digest_with_openssl(benchmark::State& state, const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  for (auto _ : state) {
    if (!EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(),
                    nullptr)) {
      state.SkipWithError("EVP_Digest failed");
      return;
    }
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  vcboot::bench::RatioReporter reporter;
  const struct {
    const char* label;
    std::size_t size;
  } sizes[] = {{"8KiB", 8 << 10}, {"1MiB", 1 << 20}, {"64MiB", 64 << 20}};
  std::string texts[3];
  for (std::size_t i = 0; i < 3; ++i) {
    texts[i] = vcboot::test_support::filler_bytes(sizes[i].size, 7);
    const std::string ours = std::string("Md5Digest/") + sizes[i].label;
    const std::string theirs = std::string("OpenSSL_MD5/") + sizes[i].label;
    for (const auto& [name, function] :
         {std::pair{ours, &digest_with_md5_digest},
          std::pair{theirs, &digest_with_openssl}}) {
      benchmark::RegisterBenchmark(name.c_str(), function, std::cref(texts[i]))
          ->Repetitions(5)
          ->DisplayAggregatesOnly(true)
          ->MinTime(0.3);
    }
    reporter.add_ratio(std::string("MD5 ratio at ") + sizes[i].label, ours,
                       theirs);
  }
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return EXIT_SUCCESS;
}
