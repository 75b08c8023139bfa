#include "tools/vcpack/pe_resources.h"

#include <gtest/gtest.h>

#include "tools/vcpack/pe_resource_tree.h"
#include "tools/vcpack/stub_identity.h"

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
  set32(image, 0x58 + 32, 0x1000);  // section alignment
  set32(image, 0x58 + 36, 0x200);   // file alignment
  set32(image, 0x58 + 56, 0x2000);  // size of image
  set32(image, 0x58 + 60, kRaw);    // size of headers
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

// Where the writer changes pe_image()'s headers.
constexpr std::size_t kSectionCount = 0x46;
constexpr std::size_t kSizeOfImage = 0x58 + 56;
constexpr std::size_t kSizeOfHeaders = 0x58 + 60;
constexpr std::size_t kChecksum = 0x58 + 64;
constexpr std::size_t kResourceDirectory = 0x58 + 112 + 16;
constexpr std::size_t kSecurityDirectory = 0x58 + 112 + 32;

std::uint32_t get32(const std::string& image, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(image[at + i]);
  }
  return value;
}

// An .ico of two images: a bitmap's header and a PNG's signature are all
// that the writer looks at.
std::string two_image_icon() {
  const std::string bitmap = std::string("\x28\0\0\0", 4) + "16x16 pixels";
  const std::string png = "\x89PNG\r\n\x1A\n256x256 pixels";
  std::string ico;
  for (std::size_t field : {0u, 1u, 2u}) put16(ico, field);
  std::size_t at = 6 + 2 * 16;
  for (const std::string* image : {&bitmap, &png}) {
    ico += image == &bitmap ? "\x10\x10" : std::string(2, '\0');
    ico += std::string(2, '\0');
    put16(ico, 1);
    put16(ico, 32);
    put32(ico, image->size());
    put32(ico, at);
    at += image->size();
  }
  return ico + bitmap + png;
}

StubIdentity every_identity() {
  StubIdentity identity;
  identity.icon = "product.ico";
  identity.version_info = {{"ProductName", "Acme \xC3\x9C", "--version-info"}};
  identity.version = "7.8";
  identity.execution_level = "requireAdministrator";
  identity.settings = {{"guard-name", "Acme.Setup", "--guard-name"}};
  return identity;
}

// The new tree replaces the old in its section when that ends the file, or
// goes into a section of its own behind the others; either way Windows
// finds everything given, the stub's other resources stay, and the headers
// describe the image.
TEST(ResourceWriter, WritesTheIdentityWhereverTheTreeGoes) {
  std::string with_checksum = pe_image() + "overlay";
  set32(with_checksum, kChecksum, 1);
  const struct {
    const char* what;
    std::string image;
    std::uint32_t sections;
  } rows[] = {
      {"the last section holds the tree", pe_image(), 1},
      {"bytes follow the last section", pe_image() + "overlay", 2},
      {"with a checksum", with_checksum, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const StubWrite written =
        write_stub_identity(row.image, every_identity(), two_image_icon());
    ASSERT_TRUE(written.ok()) << written.error;
    const std::string& out = written.bytes;
    const auto resources = read_pe_resources(out);
    ASSERT_TRUE(resources && resources->version);
    EXPECT_EQ(resources->execution_level, "requireAdministrator");
    ASSERT_EQ(resources->icons.size(), 2u);
    EXPECT_EQ(resources->icons[0].width, 16u);
    EXPECT_EQ(resources->icons[1].width, 256u);
    EXPECT_EQ(resources->version->file_version, "7.8.0.0");
    using Strings = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(resources->version->strings,
              (Strings{{"CompanyName", "Vellumcrest"},
                       {"FileVersion", "7.8"},
                       {"ProductName", "Acme \xC3\x9C"},
                       {"ProductVersion", "7.8"}}));
    EXPECT_EQ(read_stub_settings(out).entries,
              (vcboot::SettingsEntries{{"guard-name", "Acme.Setup"}}));

    EXPECT_EQ(out[kSectionCount], static_cast<char>(row.sections));
    const std::size_t section = 0x148 + 40 * (row.sections - 1);
    const std::uint32_t address = get32(out, section + 12);
    EXPECT_EQ(get32(out, kResourceDirectory), address);
    EXPECT_EQ(get32(out, kResourceDirectory + 4), get32(out, section + 8));
    EXPECT_EQ(get32(out, kSizeOfImage),
              (address + get32(out, section + 8) + 0xFFF) & ~0xFFFu);
    EXPECT_EQ(get32(out, section + 20) % 0x200, 0u);
    EXPECT_EQ(get32(out, section + 20) + get32(out, section + 16), out.size());
    EXPECT_EQ(get32(out, kChecksum), get32(row.image, kChecksum) == 0
                                         ? 0
                                         : pe_checksum(out, kChecksum));
    if (row.sections == 2) {
      EXPECT_EQ(address, 0x2000u);
      EXPECT_EQ(out.substr(pe_image().size(), 7), "overlay");
    }
  }
  EXPECT_EQ(write_stub_identity(pe_image(), StubIdentity(), "").bytes,
            pe_image());
}

TEST(ResourceWriter, RefusesWhatItCannotWriteWithTheReason) {
  std::string signed_image = pe_image();
  set32(signed_image, kSecurityDirectory + 4, 0x100);
  std::string full_headers = pe_image() + "overlay";
  set32(full_headers, kSizeOfHeaders, 0x148 + 40);
  std::string damaged_tree = pe_image();
  set32(damaged_tree, kTree + 20, 0x80000000u | 0xFFF0);
  std::string no_level = pe_image();
  // Only the comment's element is left, which does not count.
  no_level.replace(no_level.find("requestedExecutionLevel  uiAccess"), 23,
                   "requestedLevelXXXXXXXXX");
  StubIdentity level;
  level.execution_level = "highestAvailable";
  const struct {
    const char* what;
    std::string image;
    StubIdentity identity;
    const char* error;
  } rows[] = {
      {"signed", signed_image, every_identity(), "it is signed"},
      {"no room for a header", full_headers, every_identity(),
       "no room for one more section header"},
      {"a damaged tree", damaged_tree, every_identity(),
       "its resources are damaged: a directory lies outside the tree"},
      {"no level to set", no_level, level, "no requestedExecutionLevel"},
      {"no program", "MZ", every_identity(), "no Windows (PE) program"},
  };
  for (const auto& row : rows) {
    const StubWrite written =
        write_stub_identity(row.image, row.identity, two_image_icon());
    EXPECT_NE(written.error.find(row.error), std::string::npos)
        << row.what << ": " << written.error;
    EXPECT_TRUE(written.bytes.empty()) << row.what;
  }
}

// A tree written and read back holds the same resources, named and
// numbered, in the order Windows searches them: names first.
TEST(ResourceWriter, ATreeReadsBackAsItWasWritten) {
  const auto named = [](std::u16string name) {
    return ResourceId{true, 0, std::move(name)};
  };
  const std::vector<Resource> resources = {
      {named(u"TYPE"), named(u"B"), ResourceId::of(0), 1252, "named"},
      {named(u"TYPE"), ResourceId::of(7), ResourceId::of(0x407), 0, "x"},
      {ResourceId::of(10), ResourceId::of(1), ResourceId::of(0), 0, ""},
      {ResourceId::of(16), named(u"A"), ResourceId::of(0x409), 0, "v"},
      {ResourceId::of(16), named(u"A"), ResourceId::of(0x809), 0, "ww"},
  };
  std::vector<Resource> shuffled(resources.rbegin(), resources.rend());
  const ImageWrite written = write_resource_tree(pe_image(), shuffled);
  ASSERT_TRUE(written.ok()) << written.error;
  const ResourceList read = read_resource_tree(written.bytes);
  ASSERT_TRUE(read.ok()) << read.error;
  ASSERT_EQ(read.resources.size(), resources.size());
  for (std::size_t i = 0; i < resources.size(); ++i) {
    EXPECT_TRUE(read.resources[i].type == resources[i].type) << i;
    EXPECT_TRUE(read.resources[i].name == resources[i].name) << i;
    EXPECT_TRUE(read.resources[i].language == resources[i].language) << i;
    EXPECT_EQ(read.resources[i].code_page, resources[i].code_page) << i;
    EXPECT_EQ(read.resources[i].data, resources[i].data) << i;
  }
}

}  // namespace
}  // namespace vcpack
