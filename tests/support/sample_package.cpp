#include "tests/support/sample_package.h"

#include <algorithm>
#include <stdexcept>

#include "archive/chunk_format.h"
#include "archive/chunk_writer.h"
#include "archive/little_endian.h"
#include "archive/md5_digest.h"
#include "archive/pe_certificate.h"

namespace vcboot::test_support {
namespace {

constexpr std::size_t kStubImageSize = 318464;
constexpr std::size_t kCertificateTableSize = 4752;
constexpr std::size_t kAlignment = 5;  // zero bytes between tail and table

// The PE headers of make_pe_image: right after the 64-byte DOS header.
constexpr std::size_t kPeHeadersAt = 0x40;
constexpr std::size_t kOptionalHeaderAt = kPeHeadersAt + 24;
constexpr std::size_t kOptionalHeaderSize = 224;  // PE32, 16 directories

struct LanguageFile {
  const char* name;
  std::size_t size;
};

// Sizes from 28,206 to 53,026 bytes that bring the whole package to the
// size of a shipped one.
constexpr LanguageFile kLanguageFiles[] = {
    {"BG5.ini", 39632}, {"CS5.ini", 29849}, {"DA5.ini", 43760},
    {"DE5.ini", 31569}, {"EL5.ini", 30854}, {"EN5.ini", 35091},
    {"ES5.ini", 36685}, {"FI5.ini", 28206}, {"FR5.ini", 43228},
    {"HU5.ini", 33039}, {"IT5.ini", 35238}, {"JA5.ini", 37908},
    {"NL5.ini", 53026}, {"NO5.ini", 30670}, {"PT5.ini", 38403},
    {"RU5.ini", 33085}, {"SV5.ini", 29214}, {"ZH5.ini", 40492},
};

void store_le16(std::uint16_t value, std::string& bytes, std::size_t at) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void store_le32_at(std::uint32_t value, std::string& bytes, std::size_t at) {
  store_le32(value, reinterpret_cast<unsigned char*>(&bytes[at]));
}

// The digest stored for the stub image: of the image as it was before its
// header named the certificate table, or, when nothing was named, of the
// image with its last byte changed. Either way it does not match.
std::string stale_stub_digest(std::string image, bool header_filled_in) {
  if (!header_filled_in) image.back() = static_cast<char>(~image.back());
  return Md5Digest(image).digest_bytes();
}

}  // namespace

std::string filler_bytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  char* const data = &bytes[0];  // plain indexing: fast in debug builds too
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    data[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string make_pe_image(std::size_t size) {
  if (size < 1024) throw std::invalid_argument("PE image under 1024 bytes");
  std::string image = filler_bytes(size, 0x5EED);
  std::fill(image.begin(),
            image.begin() + kOptionalHeaderAt + kOptionalHeaderSize, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  store_le32_at(kPeHeadersAt, image, 0x3C);
  image.replace(kPeHeadersAt, 4, std::string("PE\0\0", 4));
  store_le16(0x014C, image, kPeHeadersAt + 4);  // i386
  store_le16(kOptionalHeaderSize, image, kPeHeadersAt + 20);
  store_le16(0x0102, image, kPeHeadersAt + 22);  // executable, 32-bit
  store_le16(0x010B, image, kOptionalHeaderAt);  // PE32
  store_le32_at(16, image, kOptionalHeaderAt + 92);
  image.replace(size / 2, chunk_format::kTailMarkerSize,
                chunk_format::kTailMarker);
  return image;
}

std::optional<std::size_t> security_directory_position(
    const std::string& bytes) {
  const auto headers_at =
      pe_headers_offset(bytes.substr(0, pe::kDosHeaderSize));
  if (!headers_at || *headers_at >= bytes.size()) return std::nullopt;
  const auto directory_at =
      security_directory_offset(bytes.substr(*headers_at, pe::kPeHeadersSize));
  if (!directory_at) return std::nullopt;
  return *headers_at + *directory_at;
}

bool name_certificate_table(std::string& bytes, std::uint32_t offset,
                            std::uint32_t size) {
  const auto directory = security_directory_position(bytes);
  if (!directory) return false;
  store_le32_at(offset, bytes, *directory);
  store_le32_at(size, bytes, *directory + 4);
  return true;
}

std::string make_certificate_table(std::size_t size,
                                   const std::string& inside) {
  if (size < 8 + inside.size()) throw std::invalid_argument("table too small");
  std::string table = filler_bytes(size, 0xCE27);
  store_le32_at(static_cast<std::uint32_t>(size), table, 0);
  store_le16(0x0200, table, 4);  // WIN_CERT_REVISION_2_0
  store_le16(0x0002, table, 6);  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
  table.replace(8, inside.size(), inside);
  return table;
}

SamplePackage make_sample_package(const SamplePackageOptions& options) {
  const std::string image = options.stub_image.empty()
                                ? make_pe_image(kStubImageSize)
                                : options.stub_image;
  const bool names_table = options.certificate_table &&
                           security_directory_position(image).has_value();
  SamplePackage package;
  StringSink sink;
  ChunkWriter writer(sink);

  writer.add_chunk_with_digest(image, stale_stub_digest(image, names_table));
  writer.add_chunk("Quorvel.exe");
  writer.add_chunk("stub");
  writer.add_chunk(chunk_format::kStubType);

  const auto add_file = [&](const std::string& key, const std::string& name,
                            std::size_t size) {
    const std::string content =
        filler_bytes(size, static_cast<std::uint32_t>(package.files.size()));
    writer.add_file(key, name, content);
    package.files[name] = content;
    package.read_order.insert(package.read_order.begin(), name);
    if (!key.empty()) package.bindings[key] = name;
  };
  add_file("post", "post.exe", 479232);
  add_file("installer", "Setup.exe", 446352);
  for (const LanguageFile& file : kLanguageFiles)
    add_file("", file.name, file.size);
  add_file("", "LogoSmall.bmp", 3256);

  const std::map<std::string, std::string> values = {
      {"executable", "%installer%"},
      {"parameters", "/passive %msi_parameters% REBOOT=None"},
      {"msi_parameters",
       "SOURCEDIR=\"%source%\" TRANSFORMS=\":1033.mst\" ALLUSERS=1 "
       "INSTALLLEVEL=100"}};
  for (const char* name : {"executable", "parameters", "msi_parameters"}) {
    writer.add_value(name, values.at(name));
    package.bindings[name] = values.at(name);
  }
  writer.add_tail();
  package.tail_end = writer.size();

  if (options.certificate_table) {
    writer.add_trailing(std::string(kAlignment, '\0'));
    const auto table_offset = static_cast<std::uint32_t>(writer.size());
    writer.add_trailing(make_certificate_table(kCertificateTableSize,
                                               options.inside_certificate));
    if (names_table) {
      name_certificate_table(sink.bytes(), table_offset, kCertificateTableSize);
    }
  }
  package.chunks = writer.chunk_count();
  package.bytes = std::move(sink.bytes());
  return package;
}

}  // namespace vcboot::test_support
