#include "tests/support/scoped_temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace vcboot::test_support {

ScopedTempDir::ScopedTempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("vcboot-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Tests make files read-only; give write permission back so all can go.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator();
       it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

}  // namespace vcboot::test_support
