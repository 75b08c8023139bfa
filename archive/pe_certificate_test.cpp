#include "archive/pe_certificate.h"

#include <gtest/gtest.h>

#include "archive/little_endian.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/sample_package.h"

namespace vcboot {
namespace {

constexpr std::size_t kOptionalHeaderAt = 0x40 + 24;  // in make_pe_image's

void store16(std::string& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void store32(std::string& bytes, std::size_t at, std::uint32_t value) {
  store_le32(value, reinterpret_cast<unsigned char*>(&bytes[at]));
}

std::optional<CertificateTable> table_of(const std::string& bytes) {
  FakePlatform platform;
  platform.add_file("C:\\image.exe", bytes);
  const auto file = platform.open_for_reading("C:\\image.exe");
  return find_certificate_table(*file);
}

std::string signed_image() {
  std::string image = test_support::make_pe_image(4096);
  EXPECT_TRUE(test_support::name_certificate_table(image, 3000, 1096));
  return image;
}

TEST(PeCertificate, TableNamedByAPe32Image) {
  const auto table = table_of(signed_image());
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->offset, 3000u);
  EXPECT_EQ(table->size, 1096u);
}

TEST(PeCertificate, TableNamedByAPe32PlusImage) {
  // The wider optional header moves the directories 16 bytes further on.
  std::string image = test_support::make_pe_image(4096);
  store16(image, 0x40 + 20, 240);
  store16(image, kOptionalHeaderAt, 0x20B);
  store32(image, kOptionalHeaderAt + 92, 0);
  store32(image, kOptionalHeaderAt + 108, 16);
  store32(image, kOptionalHeaderAt + 112 + 32, 2048);
  store32(image, kOptionalHeaderAt + 112 + 36, 2048);
  const auto table = table_of(image);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->offset, 2048u);
  EXPECT_EQ(table->size, 2048u);
}

TEST(PeCertificate, UnsignedImageNamesNoTable) {
  EXPECT_FALSE(table_of(test_support::make_pe_image(4096)).has_value());
}

TEST(PeCertificate, DamagedHeadersNameNoTable) {
  struct Damage {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    bool wide;
  };
  const Damage damages[] = {
      {"no MZ", 0, 0x5A4E, false},
      {"no PE signature", 0x40, 0x4551, true},
      {"unknown optional header magic", kOptionalHeaderAt, 0x107, false},
      {"four data directories only", kOptionalHeaderAt + 92, 4, true},
      {"optional header too short for the directory", 0x40 + 20, 96 + 32,
       false},
      {"PE headers beyond the end of the file", 0x3C, 0x10000, true},
  };
  for (const Damage& damage : damages) {
    std::string image = signed_image();
    if (damage.wide) {
      store32(image, damage.at, damage.value);
    } else {
      store16(image, damage.at, static_cast<std::uint16_t>(damage.value));
    }
    EXPECT_FALSE(table_of(image).has_value()) << damage.what;
  }
}

TEST(PeCertificate, FileShorterThanADosHeaderIsNoImage) {
  EXPECT_FALSE(table_of("MZ").has_value());
  EXPECT_FALSE(table_of("").has_value());
}

}  // namespace
}  // namespace vcboot
