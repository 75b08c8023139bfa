#include "tools/vcpack/pe_resource_tree.h"

#include <algorithm>
#include <map>
#include <optional>

#include "tools/vcpack/pe_resources.h"

namespace vcpack {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
// IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ, as linkers make .rsrc.
constexpr std::uint32_t kResourceSectionFlags = 0x40000040u;

std::optional<std::uint32_t> load(std::string_view data, std::size_t at,
                                  std::size_t size) {
  if (at > data.size() || data.size() - at < size) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = size; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(data[at + i]);
  }
  return value;
}

void store(std::string& data, std::size_t at, std::uint32_t value,
           std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    data[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
  }
}

std::uint64_t aligned(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool power_of_two(std::uint32_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

struct Section {
  std::size_t header = 0;  // where its header is in the file
  std::uint32_t virtual_size = 0;
  std::uint32_t address = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_offset = 0;
};

// Where the fields that the writer reads and changes are.
struct PeHeaders {
  std::size_t optional = 0;  // the optional header
  std::size_t section_count_field = 0;
  std::size_t section_table = 0;
  std::uint32_t section_alignment = 0;
  std::uint32_t file_alignment = 0;
  std::uint32_t size_of_headers = 0;
  std::size_t directories = 0;  // the first data directory
  std::uint32_t directory_count = 0;
  std::vector<Section> sections;

  std::size_t initialized_data_field() const { return optional + 8; }
  std::size_t size_of_image_field() const { return optional + 56; }
  std::size_t checksum_field() const { return optional + 64; }
  std::size_t resource_directory() const { return directories + 2 * 8; }
  std::size_t security_directory() const { return directories + 4 * 8; }
};

std::optional<PeHeaders> read_headers(std::string_view image,
                                      std::string& error) {
  const auto pe = load(image, 0x3C, 4);
  if (image.substr(0, 2) != "MZ" || !pe ||
      load(image, *pe, 4) != std::optional<std::uint32_t>(0x4550)) {
    error = "it is no Windows (PE) program";
    return std::nullopt;
  }
  PeHeaders headers;
  headers.section_count_field = *pe + 6;
  const auto section_count = load(image, *pe + 6, 2);
  const auto optional_size = load(image, *pe + 20, 2);
  headers.optional = *pe + 24;
  const auto magic = load(image, headers.optional, 2);
  if (!section_count || !optional_size || !magic ||
      (*magic != 0x10B && *magic != 0x20B)) {
    error = "its PE headers are cut short or of an unknown kind";
    return std::nullopt;
  }
  headers.directories = headers.optional + (*magic == 0x10B ? 96 : 112);
  const auto count = load(image, headers.directories - 4, 4);
  const std::size_t optional_end = headers.optional + *optional_size;
  headers.section_table = optional_end;
  const auto section_alignment = load(image, headers.optional + 32, 4);
  const auto file_alignment = load(image, headers.optional + 36, 4);
  const auto size_of_headers = load(image, headers.optional + 60, 4);
  if (!count || !section_alignment || !file_alignment || !size_of_headers ||
      headers.directories > optional_end) {
    error = "its optional header is cut short";
    return std::nullopt;
  }
  headers.directory_count = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      *count, (optional_end - headers.directories) / 8));
  headers.section_alignment = *section_alignment;
  headers.file_alignment = *file_alignment;
  headers.size_of_headers = *size_of_headers;
  if (!power_of_two(headers.file_alignment) ||
      !power_of_two(headers.section_alignment) ||
      headers.file_alignment > headers.section_alignment ||
      headers.file_alignment > 0x10000) {
    error =
        "its section and file alignments are no powers of two, or the "
        "file's exceeds the sections'";
    return std::nullopt;
  }
  for (std::size_t i = 0; i < *section_count; ++i) {
    Section section;
    section.header = headers.section_table + kSectionHeaderSize * i;
    const auto virtual_size = load(image, section.header + 8, 4);
    const auto address = load(image, section.header + 12, 4);
    const auto raw_size = load(image, section.header + 16, 4);
    const auto raw_offset = load(image, section.header + 20, 4);
    if (!virtual_size || !address || !raw_size || !raw_offset ||
        section.header + kSectionHeaderSize > headers.size_of_headers) {
      error = "its section table is cut short";
      return std::nullopt;
    }
    section.virtual_size = *virtual_size;
    section.address = *address;
    section.raw_size = *raw_size;
    section.raw_offset = *raw_offset;
    headers.sections.push_back(section);
  }
  return headers;
}

// The directory entry `index` of `headers` (0 when the image has none).
std::uint32_t directory_field(std::string_view image, const PeHeaders& headers,
                              std::size_t index, std::size_t part) {
  if (index >= headers.directory_count) return 0;
  return load(image, headers.directories + 8 * index + 4 * part, 4).value_or(0);
}

class TreeReader {
 public:
  TreeReader(std::string_view image, const PeHeaders& headers,
             std::string_view tree)
      : image_(image), headers_(headers), tree_(tree) {}

  ResourceList read() {
    Resource path;
    read_directory(0, 0, path);
    if (!result_.ok()) result_.resources.clear();
    return result_;
  }

 private:
  bool fail(const std::string& what) {
    if (result_.error.empty()) result_.error = what;
    return false;
  }

  std::optional<ResourceId> id_of(std::uint32_t field) {
    if ((field & kHighBit) == 0) {
      if (field > 0xFFFF) return std::nullopt;
      return ResourceId::of(static_cast<std::uint16_t>(field));
    }
    const std::size_t at = field & ~kHighBit;
    const auto length = load(tree_, at, 2);
    if (!length || tree_.size() - at - 2 < std::size_t{*length} * 2) {
      return std::nullopt;
    }
    ResourceId id;
    id.named = true;
    for (std::size_t i = 0; i < *length; ++i) {
      id.name += static_cast<char16_t>(*load(tree_, at + 2 + 2 * i, 2));
    }
    return id;
  }

  // The directory at `at` of the tree, at `level` (0 types, 1 names, 2
  // languages), whose resources take `path`'s type and name.
  bool read_directory(std::size_t at, int level, Resource& path) {
    const auto named = load(tree_, at + 12, 2);
    const auto numbered = load(tree_, at + 14, 2);
    if (!named || !numbered) return fail("a directory lies outside the tree");
    for (std::size_t i = 0; i < std::size_t{*named} + *numbered; ++i) {
      if (++entries_ > 3 * kMaxResources) {
        return fail("it holds more than " + std::to_string(kMaxResources) +
                    " resources");
      }
      const std::size_t entry = at + kDirectoryHeaderSize + kEntrySize * i;
      const auto name = load(tree_, entry, 4);
      const auto target = load(tree_, entry + 4, 4);
      if (!name || !target) return fail("a directory lies outside the tree");
      const std::optional<ResourceId> id = id_of(*name);
      if (!id) return fail("an entry's name lies outside the tree");
      (level == 0 ? path.type : level == 1 ? path.name : path.language) = *id;
      const bool subdirectory = (*target & kHighBit) != 0;
      if (subdirectory != (level < 2)) {
        return fail("it is not three levels deep (type, name, language)");
      }
      const std::size_t next = *target & ~kHighBit;
      if (subdirectory ? !read_directory(next, level + 1, path)
                       : !read_data(next, path)) {
        return false;
      }
    }
    return true;
  }

  bool read_data(std::size_t at, Resource& path) {
    const auto address = load(tree_, at, 4);
    const auto size = load(tree_, at + 4, 4);
    const auto code_page = load(tree_, at + 8, 4);
    if (!address || !size || !code_page) {
      return fail("a data entry lies outside the tree");
    }
    const std::string_view data =
        bytes_at_address(image_, headers_.sections, *address);
    if (data.size() < *size) {
      return fail("a resource's data lies outside the file's sections");
    }
    bytes_ += *size;
    if (bytes_ > kMaxResourceBytes ||
        result_.resources.size() >= kMaxResources) {
      return fail("its resources take more than " +
                  std::to_string(kMaxResourceBytes) + " bytes or " +
                  std::to_string(kMaxResources) + " entries");
    }
    path.code_page = *code_page;
    path.data = std::string(data.substr(0, *size));
    result_.resources.push_back(path);
    return true;
  }

  std::string_view image_;
  const PeHeaders& headers_;
  std::string_view tree_;
  ResourceList result_;
  std::size_t entries_ = 0;
  std::uint64_t bytes_ = 0;
};

// A name as Windows compares it when it searches a directory: without
// regard to the case of ASCII letters (resource compilers write names in
// upper case).
std::u16string folded(const std::u16string& name) {
  std::u16string upper = name;
  for (char16_t& unit : upper) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 32);
  }
  return upper;
}

// Entries in the order Windows searches them: names first, by their folded
// UTF-16 units, then numbers, ascending.
bool comes_before(const ResourceId& a, const ResourceId& b) {
  if (a.named != b.named) return a.named;
  if (!a.named) return a.number < b.number;
  const std::u16string x = folded(a.name), y = folded(b.name);
  return x != y ? x < y : a.name < b.name;
}

struct IdOrder {
  bool operator()(const ResourceId& a, const ResourceId& b) const {
    return comes_before(a, b);
  }
};

// type -> name -> language -> the resource's index
using Languages = std::map<ResourceId, std::size_t, IdOrder>;
using Names = std::map<ResourceId, Languages, IdOrder>;
using Types = std::map<ResourceId, Names, IdOrder>;

class TreeWriter {
 public:
  TreeWriter(const std::vector<Resource>& resources, std::uint32_t address)
      : resources_(resources), address_(address) {
    for (std::size_t i = 0; i < resources.size(); ++i) {
      const Resource& r = resources[i];
      types_[r.type][r.name][r.language] = i;
    }
  }

  // The tree, or an empty text when it would pass its bound.
  std::string write() {
    // Directories first, level by level, then the names, the data entries
    // and the data, each where the layout below puts it.
    std::size_t size = directory_size(types_.size());
    for (const auto& [type, names] : types_) {
      size += directory_size(names.size());
      for (const auto& [name, languages] : names) {
        size += directory_size(languages.size());
      }
    }
    for (const auto& [type, names] : types_) {
      size = add_string(type, size);
      for (const auto& [name, languages] : names) {
        size = add_string(name, size);
        for (const auto& [language, index] : languages) {
          size = add_string(language, size);
        }
      }
    }
    data_entries_ = static_cast<std::size_t>(aligned(size, 4));
    std::uint64_t data =
        aligned(data_entries_ + kDataEntrySize * resources_.size(), 8);
    for (const Resource& resource : resources_) {
      data_at_.push_back(static_cast<std::size_t>(data));
      data = aligned(data + resource.data.size(), 8);
      if (data > kMaxResourceBytes) return std::string();
    }
    tree_.assign(static_cast<std::size_t>(data), '\0');
    write_directories();
    for (std::size_t i = 0; i < resources_.size(); ++i) {
      const std::size_t entry = data_entries_ + kDataEntrySize * i;
      store(tree_, entry, address_ + static_cast<std::uint32_t>(data_at_[i]),
            4);
      store(tree_, entry + 4,
            static_cast<std::uint32_t>(resources_[i].data.size()), 4);
      store(tree_, entry + 8, resources_[i].code_page, 4);
      tree_.replace(data_at_[i], resources_[i].data.size(), resources_[i].data);
    }
    return tree_;
  }

 private:
  static std::size_t directory_size(std::size_t entries) {
    return kDirectoryHeaderSize + kEntrySize * entries;
  }

  std::size_t add_string(const ResourceId& id, std::size_t at) {
    if (!id.named || string_at_.count(id.name) != 0) return at;
    string_at_[id.name] = at;
    return at + 2 + 2 * id.name.size();
  }

  std::uint32_t name_field(const ResourceId& id) const {
    if (!id.named) return id.number;
    return kHighBit | static_cast<std::uint32_t>(string_at_.at(id.name));
  }

  // One directory at `at` with `ids` in order; each entry's target comes
  // from `target`. Returns where the next directory goes.
  template <typename Map, typename Target>
  std::size_t directory(std::size_t at, const Map& ids, Target target) {
    std::size_t named = 0;
    for (const auto& item : ids) named += item.first.named ? 1 : 0;
    store(tree_, at + 12, static_cast<std::uint32_t>(named), 2);
    store(tree_, at + 14, static_cast<std::uint32_t>(ids.size() - named), 2);
    std::size_t entry = at + kDirectoryHeaderSize;
    for (const auto& item : ids) {
      store(tree_, entry, name_field(item.first), 4);
      store(tree_, entry + 4, target(item.second), 4);
      entry += kEntrySize;
    }
    return at + directory_size(ids.size());
  }

  void write_directories() {
    // The root, then the name directories of every type, then the language
    // directories of every name: each level's places are known before the
    // level above points at them.
    std::size_t next = directory_size(types_.size());
    std::size_t languages_at = next;
    for (const auto& [type, names] : types_) {
      languages_at += directory_size(names.size());
    }
    std::size_t names_at = next;
    directory(0, types_, [&](const Names& names) {
      const std::size_t at = names_at;
      names_at += directory_size(names.size());
      return kHighBit | static_cast<std::uint32_t>(at);
    });
    for (const auto& [type, names] : types_) {
      next = directory(next, names, [&](const Languages& languages) {
        const std::size_t at = languages_at;
        languages_at += directory_size(languages.size());
        return kHighBit | static_cast<std::uint32_t>(at);
      });
    }
    for (const auto& [type, names] : types_) {
      for (const auto& [name, languages] : names) {
        next = directory(next, languages, [&](std::size_t index) {
          return static_cast<std::uint32_t>(data_entries_ +
                                            kDataEntrySize * index);
        });
      }
    }
    for (const auto& [name, at] : string_at_) {
      store(tree_, at, static_cast<std::uint32_t>(name.size()), 2);
      for (std::size_t i = 0; i < name.size(); ++i) {
        store(tree_, at + 2 + 2 * i, name[i], 2);
      }
    }
  }

  const std::vector<Resource>& resources_;
  std::uint32_t address_;
  Types types_;
  std::map<std::u16string, std::size_t> string_at_;
  std::size_t data_entries_ = 0;
  std::vector<std::size_t> data_at_;
  std::string tree_;
};

ImageWrite refused(const std::string& error) { return {std::string(), error}; }

// Whether the image's last section holds the resource tree and nothing of
// the file follows it: then the new tree replaces it.
bool last_section_is_resources(std::string_view image, const PeHeaders& headers,
                               std::uint32_t resource_address) {
  if (headers.sections.empty() || resource_address == 0) return false;
  const Section& last = headers.sections.back();
  return last.address == resource_address && last.raw_offset != 0 &&
         std::uint64_t{last.raw_offset} + last.raw_size == image.size();
}

// Where a new section's header goes, or an error: behind the table, in
// zero bytes that the headers' size covers and no section's data uses.
std::string new_header_room(std::string_view image, const PeHeaders& headers) {
  const std::size_t at =
      headers.section_table + kSectionHeaderSize * headers.sections.size();
  std::uint64_t limit = headers.size_of_headers;
  for (const Section& section : headers.sections) {
    if (section.raw_size != 0) {
      limit = std::min<std::uint64_t>(limit, section.raw_offset);
    }
  }
  const std::string_view room =
      image.substr(std::min(at, image.size()), kSectionHeaderSize);
  if (at + kSectionHeaderSize > limit || room.size() < kSectionHeaderSize ||
      room.find_first_not_of('\0') != std::string_view::npos) {
    return "its headers have no room for one more section header";
  }
  return std::string();
}

}  // namespace

ResourceList read_resource_tree(std::string_view image) {
  ResourceList result;
  const std::optional<PeHeaders> headers = read_headers(image, result.error);
  if (!headers) return result;
  const std::uint32_t address = directory_field(image, *headers, 2, 0);
  if (address == 0) return result;
  const std::string_view tree =
      bytes_at_address(image, headers->sections, address);
  if (tree.empty()) {
    result.error = "its resource directory lies outside its sections";
    return result;
  }
  result = TreeReader(image, *headers, tree).read();
  if (!result.ok()) result.error = "its resources are damaged: " + result.error;
  return result;
}

ImageWrite write_resource_tree(std::string_view image,
                               const std::vector<Resource>& resources) {
  std::string error;
  const std::optional<PeHeaders> headers = read_headers(image, error);
  if (!headers) return refused(error);
  if (headers->directory_count < 3) {
    return refused("its headers have no resource directory entry");
  }
  if (directory_field(image, *headers, 4, 1) != 0) {
    return refused(
        "it is signed: its certificate table would no longer match it. Give "
        "the unsigned stub, and sign the package");
  }
  if (resources.size() > kMaxResources) {
    return refused("more than " + std::to_string(kMaxResources) + " resources");
  }
  // The end of every section's addresses but the last's, when the last is
  // the tree's and may grow.
  bool reuse = last_section_is_resources(
      image, *headers, directory_field(image, *headers, 2, 0));
  std::uint64_t image_end = 0;
  for (std::size_t i = 0; i + (reuse ? 1 : 0) < headers->sections.size(); ++i) {
    const Section& section = headers->sections[i];
    image_end = std::max<std::uint64_t>(
        image_end, std::uint64_t{section.address} +
                       std::max(section.virtual_size, section.raw_size));
  }
  reuse = reuse && image_end <= headers->sections.back().address;
  if (!reuse) {
    error = new_header_room(image, *headers);
    if (!error.empty()) return refused(error);
    const Section& last =
        headers->sections.empty() ? Section() : headers->sections.back();
    image_end = std::max<std::uint64_t>(
        image_end,
        std::max<std::uint64_t>(
            std::uint64_t{last.address} +
                std::max(last.virtual_size, last.raw_size),
            load(image, headers->size_of_image_field(), 4).value_or(0)));
  }
  const std::uint64_t address =
      reuse ? headers->sections.back().address
            : aligned(image_end, headers->section_alignment);
  const std::string tree =
      TreeWriter(resources, static_cast<std::uint32_t>(address)).write();
  if (tree.empty() && !resources.empty()) {
    return refused("the resources would take more than " +
                   std::to_string(kMaxResourceBytes) + " bytes");
  }
  const std::uint64_t raw_size = aligned(tree.size(), headers->file_alignment);
  const std::uint64_t size_of_image =
      aligned(address + tree.size(), headers->section_alignment);
  if (size_of_image > 0xFFFFFFFFu) {
    return refused("the image would pass 4 GiB");
  }

  std::string out(image);
  std::size_t header = 0;
  std::uint64_t raw_offset = 0;
  std::uint32_t initialized =
      load(out, headers->initialized_data_field(), 4).value_or(0);
  if (reuse) {
    const Section& last = headers->sections.back();
    header = last.header;
    raw_offset = last.raw_offset;
    initialized -= std::min(initialized, last.raw_size);
    out.resize(last.raw_offset);
  } else {
    header =
        headers->section_table + kSectionHeaderSize * headers->sections.size();
    raw_offset = aligned(out.size(), headers->file_alignment);
    out.resize(static_cast<std::size_t>(raw_offset), '\0');
    out.replace(header, 8, std::string(".rsrc\0\0\0", 8));
    store(out, headers->section_count_field,
          static_cast<std::uint32_t>(headers->sections.size() + 1), 2);
  }
  if (raw_offset + raw_size > 0xFFFFFFFFu) {
    return refused("the image would pass 4 GiB");
  }
  out += tree;
  out.resize(static_cast<std::size_t>(raw_offset + raw_size), '\0');
  store(out, header + 8, static_cast<std::uint32_t>(tree.size()), 4);
  store(out, header + 12, static_cast<std::uint32_t>(address), 4);
  store(out, header + 16, static_cast<std::uint32_t>(raw_size), 4);
  store(out, header + 20, static_cast<std::uint32_t>(raw_offset), 4);
  store(out, header + 36, kResourceSectionFlags, 4);
  store(out, headers->size_of_image_field(),
        static_cast<std::uint32_t>(size_of_image), 4);
  store(out, headers->initialized_data_field(),
        initialized + static_cast<std::uint32_t>(raw_size), 4);
  store(out, headers->resource_directory(), static_cast<std::uint32_t>(address),
        4);
  store(out, headers->resource_directory() + 4,
        static_cast<std::uint32_t>(tree.size()), 4);
  if (load(out, headers->checksum_field(), 4).value_or(0) != 0) {
    store(out, headers->checksum_field(),
          pe_checksum(out, headers->checksum_field()), 4);
  }
  return {out, std::string()};
}

std::uint32_t pe_checksum(std::string_view image, std::size_t field) {
  std::uint64_t sum = 0;
  for (std::size_t at = 0; at < image.size(); at += 2) {
    if (at == field || at == field + 2) continue;
    std::uint32_t word = static_cast<unsigned char>(image[at]);
    if (at + 1 < image.size()) {
      word |= std::uint32_t{static_cast<unsigned char>(image[at + 1])} << 8;
    }
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

}  // namespace vcpack
