// The JSON documents of report.h: `vcpack list --json` and `vcpack verify
// --json`, made with nlohmann-json.
#include <nlohmann/json.hpp>
#include <string>

#include "tools/vcpack/report.h"
#include "util/messages.h"

namespace vcpack {
namespace {

using json = nlohmann::ordered_json;

json numbers(const std::vector<std::size_t>& indices) {
  json list = json::array();
  for (std::size_t index : indices) list.push_back(index + 1);
  return list;
}

json record_json(const PackageWalk& walk, const PackageOutcome& outcome,
                 std::size_t index) {
  const WalkedRecord& record = walk.records[index];
  json chunks = json::array();
  for (const WalkedChunk& chunk : record.chunks) {
    chunks.push_back({{"offset", chunk.offset},
                      {"payload_size", chunk.payload_size},
                      {"verified", chunk.verified}});
  }
  json item = {
      {"number", index + 1},
      {"type", record.type == RecordType::kOther ? "other" : type_name(record)},
      {"offset", record.offset},
      {"verified", record.verified()},
      {"complete", record.complete},
      {"acted_on", index < outcome.acted_on},
      {"outcome", record_outcome(walk, outcome, index)},
      {"chunks", chunks}};
  switch (record.type) {
    case RecordType::kTail:
      break;
    case RecordType::kValue:
      item["name"] = record.name;
      item["value"] = record.value;
      break;
    case RecordType::kFile:
      item["key"] = record.name;
      item["file_name"] = record.file_name;
      item["content_size"] = record.content_size;
      break;
    case RecordType::kStub:
      item["key"] = record.name;
      break;
    default:
      item["type_text"] = record.type_text;
      item["name"] = record.name;
  }
  return item;
}

json binding_json(const Binding& binding) {
  json item = {{"name", binding.name}, {"shadowed", numbers(binding.shadowed)}};
  if (binding.record) {
    item["value"] = binding.value;
    item["record"] = *binding.record + 1;
  } else {
    item["set_by_bootstrap"] = true;
  }
  return item;
}

json file_json(const WrittenFile& file) {
  return {{"name", file.name},
          {"record", file.record + 1},
          {"overwrites", numbers(file.replaced)}};
}

const char* end_name(WalkEnd end) {
  switch (end) {
    case WalkEnd::kStub:
      return "stub";
    case WalkEnd::kNoTail:
      return "no tail marker";
    case WalkEnd::kInsideStub:
      return "inside the stub";
    case WalkEnd::kStubNotAtStart:
      return "stub not at start";
    default:
      return "read failure";
  }
}

json trailing_json(const PackageWalk& walk) {
  if (!walk.tail_end) return nullptr;
  json trailing = {{"bytes", walk.file_size - *walk.tail_end},
                   {"certificate_table", nullptr}};
  if (walk.certificate_table) {
    trailing["certificate_table"] = {{"offset", walk.certificate_table->offset},
                                     {"size", walk.certificate_table->size}};
  }
  return trailing;
}

json text_or_null(const std::string& text) {
  return text.empty() ? json(nullptr) : json(text);
}

// The manifest's execution level and the version resource of a PE stub.
json stub_resources_json(const std::optional<PeResources>& resources) {
  if (!resources) return nullptr;
  json manifest = nullptr;
  if (resources->has_manifest) {
    manifest = {{"execution_level", text_or_null(resources->execution_level)},
                {"ui_access", text_or_null(resources->ui_access)}};
  }
  json version = nullptr;
  if (resources->version) {
    json strings = json::object();
    for (const auto& [key, value] : resources->version->strings) {
      if (!strings.contains(key))
        strings[key] = value;  // Windows takes the first
    }
    version = {
        {"file_version", text_or_null(resources->version->file_version)},
        {"product_version", text_or_null(resources->version->product_version)},
        {"strings", strings}};
  }
  json icons = json::array();
  for (const IconImage& icon : resources->icons) {
    icons.push_back({{"width", icon.width},
                     {"height", icon.height},
                     {"bit_count", icon.bit_count},
                     {"size", icon.size}});
  }
  return {{"manifest", manifest}, {"version", version}, {"icons", icons}};
}

const char* block_name(StubSettings::Block block) {
  switch (block) {
    case StubSettings::Block::kNone:
      return "none";
    case StubSettings::Block::kSound:
      return "sound";
    case StubSettings::Block::kDamaged:
      return "damaged";
    default:
      return "no room";
  }
}

// The settings block, and the settings in it that differ from the defaults.
json settings_json(const StubSettings& settings) {
  json values = json::object();
  for (const vcboot::SettingsEntry& entry : settings.entries) {
    if (!is_default_setting(entry)) values[entry.name] = entry.value;
  }
  return {{"block", block_name(settings.block)}, {"values", values}};
}

json format_json(const ProgramFormat& format) {
  return {{"kind", kind_name(format.kind)},
          {"architecture",
           format.architecture ? json(format.architecture) : json(nullptr)}};
}

json stub_json(const PackageWalk& walk) {
  if (!walk.stub) return nullptr;
  return {{"file_name", walk.stub->file_name},
          {"format", format_json(walk.stub->format)},
          {"image_offset", walk.stub->image_offset},
          {"image_size", walk.stub->image_size},
          {"image_verified", walk.stub->image_verified},
          {"resources", stub_resources_json(walk.stub->resources)},
          {"settings", settings_json(walk.stub->settings)}};
}

json finding_json(const Finding& finding) {
  return {
      {"id", finding.name()},
      {"severity", severity_name(finding.severity())},
      {"allowed", finding.allowed},
      {"record", finding.record ? json(*finding.record + 1) : json(nullptr)},
      {"offset", finding.offset ? json(*finding.offset) : json(nullptr)},
      {"message", finding.text}};
}

const char* policy_name(vcboot::ExitCodePolicy policy) {
  switch (policy) {
    case vcboot::ExitCodePolicy::kInstaller:
      return "installer";
    case vcboot::ExitCodePolicy::kPost:
      return "post";
    default:
      return "default";
  }
}

json launch_json(const PackageWalk& walk, const CheckedPackage& checked) {
  if (!checked.preview) return nullptr;
  const LaunchPreview& preview = *checked.preview;
  const json installer_format =
      preview.installer_record
          ? format_json(walk.records[*preview.installer_record].format)
          : json(nullptr);
  return {{"installer", preview.installer},
          {"installer_format", installer_format},
          {"parameters", preview.parameters},
          {"post", preview.post},
          {"exit_code",
           {{"policy", policy_name(preview.exit_code_policy)},
            {"value", preview.exit_code}}}};
}

const char* stop_name(WalkStop stop) {
  switch (stop) {
    case WalkStop::kStubRecord:
      return "stub record";
    case WalkStop::kRefusedName:
      return "refused name";
    case WalkStop::kUnwritableName:
      return "unwritable name";
    default:
      return "damage";
  }
}

// Where the bootstrap's walk stops and what the user then sees.
json stop_json(const CheckedPackage& checked) {
  const PackageOutcome& outcome = checked.outcome;
  if (outcome.launches) return nullptr;
  const bool name = outcome.stop == WalkStop::kRefusedName ||
                    outcome.stop == WalkStop::kUnwritableName;
  return {{"reason", stop_name(outcome.stop)},
          {"record", name ? json(outcome.acted_on + 1) : json(nullptr)},
          {"message", name ? vcboot::messages::kFailedToExtractFile
                           : vcboot::messages::kInvalidArchiveCaption}};
}

const char* result_name(const CheckedPackage& checked) {
  if (checked.count(Severity::kError) > 0) return "errors";
  return checked.count(Severity::kWarning) > 0 ? "warnings" : "sound";
}

// One JSON document written as dump(2) writes it, escaped to ASCII so that
// no byte of the package reaches a terminal as it is. The lists that grow
// with the package are written an item at a time: a package of many small
// records would otherwise take a hundred times its size as a document.
class DocumentWriter {
 public:
  explicit DocumentWriter(std::ostream& out) : out_(out) { out_ << "{"; }
  void end() { out_ << "\n}\n"; }

  void member(const char* key, const json& value) {
    start(key);
    write(value, "\n  ");
  }

  // A list of `count` items, item(i) made when it is written.
  template <typename Item>
  void list(const char* key, std::size_t count, const Item& item) {
    start(key);
    if (count == 0) {
      out_ << "[]";
      return;
    }
    for (std::size_t i = 0; i < count; ++i) {
      out_ << (i == 0 ? "[\n    " : ",\n    ");
      write(item(i), "\n    ");
    }
    out_ << "\n  ]";
  }

 private:
  void start(const char* key) {
    out_ << (first_ ? "\n  \"" : ",\n  \"") << key << "\": ";
    first_ = false;
  }

  // `value` at the depth of `line_start`; strings hold no line breaks once
  // escaped, so every one in the text starts a line.
  void write(const json& value, const char* line_start) {
    const std::string text =
        value.dump(2, ' ', true, json::error_handler_t::replace);
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos;
         at = end + 1) {
      out_.write(text.data() + at, static_cast<std::streamsize>(end - at));
      out_ << line_start;
    }
    out_ << text.substr(at);
  }

  std::ostream& out_;
  bool first_ = true;
};

json walk_end_json(const PackageWalk& walk) {
  return {{"at", end_name(walk.end)}, {"offset", walk.end_offset}};
}

}  // namespace

void write_package_json(std::ostream& out, const PackageWalk& walk,
                        const CheckedPackage& checked) {
  const PackageOutcome& outcome = checked.outcome;
  DocumentWriter document(out);
  document.member("package", walk.path);
  document.member("size", walk.file_size);
  document.member("tail_end",
                  walk.tail_end ? json(*walk.tail_end) : json(nullptr));
  document.member("archive_complete", outcome.launches);
  document.member("stop", stop_json(checked));
  document.member("walk_end", walk_end_json(walk));
  document.list("records", walk.records.size(),
                [&](std::size_t i) { return record_json(walk, outcome, i); });
  document.list("variables", outcome.bindings.size(), [&](std::size_t i) {
    return binding_json(outcome.bindings[i]);
  });
  document.list("files", outcome.files.size(),
                [&](std::size_t i) { return file_json(outcome.files[i]); });
  document.member("launch", launch_json(walk, checked));
  document.member("trailing", trailing_json(walk));
  document.member("stub", stub_json(walk));
  document.list("findings", checked.findings.size(), [&](std::size_t i) {
    return finding_json(checked.findings[i]);
  });
  document.end();
}

void write_verify_json(std::ostream& out, const PackageWalk& walk,
                       const CheckedPackage& checked) {
  std::size_t chunks = 0;
  for (const WalkedRecord& record : walk.records)
    chunks += record.chunks.size();
  DocumentWriter document(out);
  document.member("package", walk.path);
  document.member("records_read", walk.records.size());
  document.member("chunks_read", chunks);
  document.member("walk_end", walk_end_json(walk));
  document.member("installer_starts", checked.outcome.launches);
  document.member("stop", stop_json(checked));
  document.member("launch", launch_json(walk, checked));
  document.member("result", result_name(checked));
  document.member("errors", checked.count(Severity::kError));
  document.member("warnings", checked.count(Severity::kWarning));
  document.member("allowed", checked.allowed());
  document.list("findings", checked.findings.size(), [&](std::size_t i) {
    return finding_json(checked.findings[i]);
  });
  document.end();
}

}  // namespace vcpack
