// The backward block scan for the tail marker, against a plain forward read
// of the same trailing bytes from the same file through the same platform
// layer. The target is a ratio of at least 0.25. For scale, the scan made
// one window per byte (one move and one 22-byte read each) is timed at 1 MiB.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "archive/chunk_stream.h"
#include "archive/chunk_writer.h"
#include "bench/ratio_reporter.h"
#include "platform/platform.h"
#include "tests/support/sample_package.h"
#include "tests/support/scoped_temp_dir.h"

namespace {

using vcboot::File;

struct Package {
  std::string path;
  std::uint64_t tail_end = 0;
  std::uint64_t trailing = 0;
};

// A small stream whose tail chunk is followed by `trailing` bytes that look
// like a certificate table.
Package write_package(const std::filesystem::path& folder,
                      std::size_t trailing) {
  vcboot::StringSink sink;
  vcboot::ChunkWriter writer(sink);
  writer.add_stub(vcboot::test_support::make_pe_image(4096), "setup.exe");
  writer.add_value("executable", "Setup.exe");
  writer.add_tail();
  const std::uint64_t tail_end = writer.size();
  writer.add_trailing(vcboot::test_support::filler_bytes(trailing, 3));
  const std::string path = (folder / std::to_string(trailing)).string();
  vcboot::test_support::write_file(path, sink.bytes());
  return {path, tail_end, trailing};
}

std::unique_ptr<File> open_or_fail(benchmark::State& state,
                                   const std::string& path) {
  auto file = vcboot::native_platform().open_for_reading(path);
  if (!file) state.SkipWithError("cannot open the package");
  return file;
}

void block_scan(benchmark::State& state, const Package& package) {
  vcboot::ChunkStream stream;
  for (auto _ : state) {
    const auto file = open_or_fail(state, package.path);
    if (!file || !stream.find_tail_marker(*file) ||
        *file->seek(0, File::Origin::kCurrent) != package.tail_end) {
      state.SkipWithError("tail not found where it is");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(package.trailing));
}

void sequential_read(benchmark::State& state, const Package& package) {
  std::string block(vcboot::ChunkStream::kScanBlockSize, '\0');
  for (auto _ : state) {
    const auto file = open_or_fail(state, package.path);
    if (!file) return;
    file->seek(static_cast<std::int64_t>(package.tail_end),
               File::Origin::kBegin);
    std::size_t done = 0;
    while (file->read(&block[0], block.size(), &done) && done > 0) {
      benchmark::DoNotOptimize(block.data());
    }
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(package.trailing));
}

// One window per byte, moving back one byte per pass.
void bytewise_scan(benchmark::State& state, const Package& package) {
  char window[22];
  for (auto _ : state) {
    const auto file = open_or_fail(state, package.path);
    if (!file) return;
    file->seek(0, File::Origin::kEnd);
    std::size_t done = 0;
    for (;;) {
      const auto position = file->seek(-23, File::Origin::kCurrent);
      if (!position || *position <= 22 || !file->read(window, 22, &done)) break;
      if (std::string(window, 22) == "chunked-installer-tail") break;
    }
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(package.trailing));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  vcboot::test_support::ScopedTempDir temp;
  vcboot::bench::RatioReporter reporter;
  const struct {
    const char* label;
    std::size_t size;
  } sizes[] = {{"1MiB", 1 << 20}, {"16MiB", 16 << 20}};
  Package packages[2];
  for (std::size_t i = 0; i < 2; ++i) {
    packages[i] = write_package(temp.path(), sizes[i].size);
    const std::string scan = std::string("BlockScan/") + sizes[i].label;
    const std::string read = std::string("SequentialRead/") + sizes[i].label;
    benchmark::RegisterBenchmark(scan.c_str(), block_scan,
                                 std::cref(packages[i]))
        ->Repetitions(5)
        ->DisplayAggregatesOnly(true);
    benchmark::RegisterBenchmark(read.c_str(), sequential_read,
                                 std::cref(packages[i]))
        ->Repetitions(5)
        ->DisplayAggregatesOnly(true);
    reporter.add_ratio(std::string("Tail scan ratio at ") + sizes[i].label,
                       scan, read);
  }
  benchmark::RegisterBenchmark("BytewiseScan/1MiB", bytewise_scan,
                               std::cref(packages[0]))
      ->Iterations(2);
  reporter.add_ratio("Bytewise scan ratio at 1MiB", "BytewiseScan/1MiB",
                     "SequentialRead/1MiB");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return EXIT_SUCCESS;
}
