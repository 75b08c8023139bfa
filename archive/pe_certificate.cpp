#include "archive/pe_certificate.h"

#include "archive/little_endian.h"

namespace vcboot {
namespace {

constexpr std::size_t kNewHeaderField = 0x3C;  // e_lfanew
constexpr std::size_t kFileHeaderAt = 4;       // after "PE\0\0"
constexpr std::size_t kOptionalHeaderSizeField = kFileHeaderAt + 16;
constexpr std::size_t kOptionalHeaderAt = kFileHeaderAt + 20;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;

const unsigned char* bytes_of(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// Reads `size` bytes at `offset`; fewer at the end of the file.
std::string read_at(File& file, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t done = 0;
  if (!file.seek(static_cast<std::int64_t>(offset), File::Origin::kBegin) ||
      !file.read(&bytes[0], size, &done)) {
    return std::string();
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace

std::optional<std::uint32_t> pe_headers_offset(const std::string& dos_header) {
  if (dos_header.size() < pe::kDosHeaderSize || dos_header[0] != 'M' ||
      dos_header[1] != 'Z') {
    return std::nullopt;
  }
  return load_le32(bytes_of(dos_header) + kNewHeaderField);
}

std::optional<std::size_t> security_directory_offset(
    const std::string& pe_headers) {
  const unsigned char* bytes = bytes_of(pe_headers);
  if (pe_headers.size() < kOptionalHeaderAt + 2 ||
      pe_headers.compare(0, 4, std::string("PE\0\0", 4)) != 0) {
    return std::nullopt;
  }
  // The two forms differ in the width of their image base and stack fields,
  // which moves the directory count and the directories.
  const std::uint16_t magic = load_le16(bytes + kOptionalHeaderAt);
  std::size_t count_at = 0;
  if (magic == kPe32Magic)
    count_at = 92;
  else if (magic == kPe32PlusMagic)
    count_at = 108;
  else
    return std::nullopt;
  const std::size_t directory_at = count_at + 4 + 8 * pe::kSecurityDirectory;
  const std::size_t optional_size = load_le16(bytes + kOptionalHeaderSizeField);
  if (optional_size < directory_at + 8 ||
      pe_headers.size() < kOptionalHeaderAt + directory_at + 8 ||
      load_le32(bytes + kOptionalHeaderAt + count_at) <=
          pe::kSecurityDirectory) {
    return std::nullopt;
  }
  return kOptionalHeaderAt + directory_at;
}

std::optional<CertificateTable> find_certificate_table(File& file) {
  const auto headers_at =
      pe_headers_offset(read_at(file, 0, pe::kDosHeaderSize));
  if (!headers_at) return std::nullopt;
  const std::string headers = read_at(file, *headers_at, pe::kPeHeadersSize);
  const auto directory_at = security_directory_offset(headers);
  if (!directory_at) return std::nullopt;
  const unsigned char* directory = bytes_of(headers) + *directory_at;
  const CertificateTable table{load_le32(directory), load_le32(directory + 4)};
  if (table.offset == 0 || table.size == 0) return std::nullopt;
  return table;
}

}  // namespace vcboot
