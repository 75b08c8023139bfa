#include "tools/vcpack/pe_resources.h"

#include <gtest/gtest.h>

namespace vcpack {
namespace {

void put16(std::string& out, std::size_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8 & 0xFF);
}

void put32(std::string& out, std::size_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

void set32(std::string& out, std::size_t at, std::size_t value) {
  std::string field;
  put32(field, value);
  out.replace(at, 4, field);
}

void pad(std::string& out) { out.resize((out.size() + 3) & ~std::size_t{3}); }

// A resource directory's header, for `entries` numbered entries.
void directory(std::string& out, std::size_t entries) {
  out.append(14, '\0');
  put16(out, entries);
}

// A version-resource block around `value` (of `value_length` bytes or text
// units) and `children`.
std::string block(const std::string& key, const std::string& value,
                  std::size_t value_length, const std::string& children) {
  std::string out(6, '\0');
  for (char c : key + '\0') put16(out, static_cast<unsigned char>(c));
  pad(out);
  out += value;
  pad(out);
  out += children;
  out[0] = static_cast<char>(out.size() & 0xFF);
  out[1] = static_cast<char>(out.size() >> 8);
  out[2] = static_cast<char>(value_length);
  return out;
}

std::string text_value(const std::string& key, const std::string& text) {
  std::string value;
  for (char c : text + '\0') put16(value, static_cast<unsigned char>(c));
  return block(key, value, text.size() + 1, "");
}

const std::string kManifest =
    "<assembly><!-- <requestedExecutionLevel level=\"highestAvailable\"/> -->"
    "<requestedExecutionLevel  uiAccess='false' level = \"asInvoker\"/>"
    "</assembly>";

std::string version_block() {
  std::string fixed;
  for (std::size_t field : {0xFEEF04BDu, 0x10000u, 0x20003u, 0x40005u, 0x60007u,
                            0x80009u, 0u, 0u, 0u, 0u, 0u, 0u, 0u}) {
    put32(fixed, field);
  }
  const std::string table = block("040904B0", "", 0,
                                  text_value("CompanyName", "Vellumcrest") +
                                      text_value("FileVersion", "2.3.4"));
  return block(
      "VS_VERSION_INFO", fixed, fixed.size(),
      block("VarFileInfo", "", 0, "") + block("StringFileInfo", "", 0, table));
}

// A PE32+ image whose one section holds a resource tree with the manifest
// and the version block, each under name 1 and language 0x409.
std::string pe_image() {
  constexpr std::size_t kRaw = 0x200, kAddress = 0x1000;
  std::string image(kRaw, '\0');
  image.replace(0, 2, "MZ");
  set32(image, 0x3C, 0x40);
  image.replace(0x40, 4, std::string("PE\0\0", 4));
  image[0x46] = 1;                                     // one section
  image[0x54] = static_cast<char>(0xF0);               // optional header size
  image.replace(0x58, 2, std::string("\x0B\x02", 2));  // PE32+
  set32(image, 0x58 + 108, 16);                        // directories
  image.replace(0x148, 5, ".rsrc");
  const std::string data[] = {version_block(), kManifest};
  std::string tree;
  // Root with two types, then per type a name and a language directory.
  directory(tree, 2);
  for (std::size_t i = 0; i < 2; ++i) {
    put32(tree, i == 0 ? kVersionResource : kManifestResource);
    put32(tree, 0x80000000u | (32 + 48 * i));
  }
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t entry = 128 + 16 * i;
    for (std::size_t id : {std::size_t{1}, std::size_t{0x409}}) {
      directory(tree, 1);
      put32(tree, id);
      put32(tree, id == 1 ? 0x80000000u | (tree.size() + 4) : entry);
    }
  }
  std::size_t at = 160;
  for (const std::string& bytes : data) {
    put32(tree, kAddress + at);
    put32(tree, bytes.size());
    tree.append(8, '\0');
    at = (at + bytes.size() + 3) & ~std::size_t{3};
  }
  for (const std::string& bytes : data) {
    tree += bytes;
    pad(tree);
  }
  set32(image, 0x58 + 112 + 16, kAddress);
  set32(image, 0x58 + 112 + 20, tree.size());
  set32(image, 0x148 + 8, tree.size());
  set32(image, 0x148 + 12, kAddress);
  set32(image, 0x148 + 16, tree.size());
  set32(image, 0x148 + 20, kRaw);
  return image + tree;
}

TEST(PeResources, ReadsTheVersionAndTheRequestedExecutionLevel) {
  const std::optional<PeResources> resources = read_pe_resources(pe_image());
  ASSERT_TRUE(resources.has_value());
  EXPECT_TRUE(resources->has_manifest);
  EXPECT_EQ(resources->execution_level, "asInvoker");  // not the comment's
  EXPECT_EQ(resources->ui_access, "false");
  ASSERT_TRUE(resources->version.has_value());
  EXPECT_EQ(resources->version->file_version, "2.3.4.5");
  EXPECT_EQ(resources->version->product_version, "6.7.8.9");
  using Strings = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(
      resources->version->strings,
      (Strings{{"CompanyName", "Vellumcrest"}, {"FileVersion", "2.3.4"}}));
}

// Where pe_image() puts its resource tree and the version block.
constexpr std::size_t kTree = 0x200;
constexpr std::size_t kVersionData = kTree + 160;

// Each row writes `value` as 32 bits at `at`.
TEST(PeResources, DamagedImagesLoseOnlyWhatIsDamaged) {
  const struct {
    const char* what;
    std::size_t at, value;
    bool pe, manifest, version_strings;
  } rows[] = {
      {"no MZ", 0, 0, false, false, false},
      {"PE headers past the end", 0x3C, 0xFFFFFFF0, false, false, false},
      {"unknown optional header", 0x58, 7, false, false, false},
      {"no resource directory", 0x58 + 128, 0, true, false, false},
      {"65535 root entries", kTree + 12, 0xFFFF0000, true, true, true},
      {"a type that points back at the root", kTree + 20, 0x80000000, true,
       true, false},
      {"manifest larger than its section", kTree + 148, 0x10000, true, false,
       true},
      {"version data outside every section", kTree + 128, 0x9000, true, true,
       false},
      // Its length 0xFFFF, its value's the fixed part's 52 bytes.
      {"version block longer than its data", kVersionData, 0x34FFFF, true, true,
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string image = pe_image();
    set32(image, row.at, row.value);
    const std::optional<PeResources> resources = read_pe_resources(image);
    ASSERT_EQ(resources.has_value(), row.pe);
    if (!resources) continue;
    EXPECT_EQ(resources->has_manifest, row.manifest);
    EXPECT_EQ(resources->version && !resources->version->strings.empty(),
              row.version_strings);
  }
}

// A resource is read whole from the image's own bytes, or not at all:
// however the image is cut or changed, nothing is made up or read past it.
TEST(PeResources, CutOrChangedImagesNeverYieldBytesOfTheirOwn) {
  const std::string image = pe_image();
  for (std::size_t size = 0; size < image.size(); ++size) {
    const auto manifest =
        find_resource(image.substr(0, size), kManifestResource);
    EXPECT_TRUE(!manifest || *manifest == kManifest) << size;
  }
  for (std::size_t at = 0; at < image.size(); ++at) {
    for (char value : {'\0', '\x7F', '\xFF'}) {
      std::string changed = image;
      changed[at] = value;
      read_pe_resources(changed);
      const auto manifest = find_resource(changed, kManifestResource);
      EXPECT_TRUE(!manifest || changed.find(*manifest) != std::string::npos)
          << at;
    }
  }
}

}  // namespace
}  // namespace vcpack
