#include "tools/vcpack/package_json.h"

#include "tools/vcpack/package_report.h"
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
  for (const ChunkRead& chunk : record.chunks) {
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

json variables_json(const PackageOutcome& outcome) {
  json list = json::array();
  for (const Binding& binding : outcome.bindings) {
    json item = {{"name", binding.name},
                 {"shadowed", numbers(binding.shadowed)}};
    if (binding.record) {
      item["value"] = binding.value;
      item["record"] = *binding.record + 1;
    } else {
      item["set_by_bootstrap"] = true;
    }
    list.push_back(item);
  }
  return list;
}

json files_json(const PackageOutcome& outcome) {
  json list = json::array();
  for (const WrittenFile& file : outcome.files) {
    list.push_back({{"name", file.name},
                    {"record", file.record + 1},
                    {"overwrites", numbers(file.replaced)}});
  }
  return list;
}

const char* end_name(WalkEnd end) {
  switch (end) {
    case WalkEnd::kStub:
      return "stub";
    case WalkEnd::kNoTail:
      return "no tail marker";
    case WalkEnd::kInsideStub:
      return "inside the stub";
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
  return {{"manifest", manifest}, {"version", version}};
}

json stub_json(const PackageWalk& walk) {
  if (!walk.stub) return nullptr;
  return {{"file_name", walk.stub->file_name},
          {"image_offset", walk.stub->image_offset},
          {"image_size", walk.stub->image_size},
          {"image_verified", walk.stub->image_verified},
          {"resources", stub_resources_json(walk.stub->resources)}};
}

json findings_json(const std::vector<Finding>& findings) {
  json list = json::array();
  for (const Finding& finding : findings) {
    list.push_back(
        {{"id", finding.id},
         {"severity", severity_name(finding.severity)},
         {"record", finding.record ? json(*finding.record + 1) : json(nullptr)},
         {"offset", finding.offset ? json(*finding.offset) : json(nullptr)},
         {"message", finding.text}});
  }
  return list;
}

const char* policy_name(ExitCodePolicy policy) {
  switch (policy) {
    case ExitCodePolicy::kInstaller:
      return "installer";
    case ExitCodePolicy::kPost:
      return "post";
    default:
      return "default";
  }
}

json launch_json(const PackageReview& review) {
  if (!review.preview) return nullptr;
  const LaunchPreview& preview = *review.preview;
  return {{"installer", preview.installer},
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
json stop_json(const PackageReview& review) {
  const PackageOutcome& outcome = review.outcome;
  if (outcome.launches) return nullptr;
  const bool name = outcome.stop == WalkStop::kRefusedName ||
                    outcome.stop == WalkStop::kUnwritableName;
  return {{"reason", stop_name(outcome.stop)},
          {"record", name ? json(outcome.acted_on + 1) : json(nullptr)},
          {"message", name ? vcboot::messages::kFailedToExtractFile
                           : vcboot::messages::kInvalidArchiveCaption}};
}

const char* result_name(const PackageReview& review) {
  if (review.count(Severity::kError) > 0) return "errors";
  return review.count(Severity::kWarning) > 0 ? "warnings" : "sound";
}

}  // namespace

json package_json(const PackageWalk& walk, const PackageReview& review) {
  const PackageOutcome& outcome = review.outcome;
  json records = json::array();
  for (std::size_t i = 0; i < walk.records.size(); ++i) {
    records.push_back(record_json(walk, outcome, i));
  }
  json document = {
      {"package", walk.path},
      {"size", walk.file_size},
      {"tail_end", walk.tail_end ? json(*walk.tail_end) : json(nullptr)},
      {"archive_complete", outcome.launches},
      {"stop", stop_json(review)},
      {"walk_end", {{"at", end_name(walk.end)}, {"offset", walk.end_offset}}},
      {"records", records},
      {"variables", variables_json(outcome)},
      {"files", files_json(outcome)},
      {"launch", launch_json(review)},
      {"trailing", trailing_json(walk)},
      {"stub", stub_json(walk)},
      {"problems", findings_json(review.findings)}};
  return document;
}

json verify_json(const PackageWalk& walk, const PackageReview& review) {
  std::size_t chunks = 0;
  for (const WalkedRecord& record : walk.records)
    chunks += record.chunks.size();
  return {
      {"package", walk.path},
      {"records_read", walk.records.size()},
      {"chunks_read", chunks},
      {"walk_end", {{"at", end_name(walk.end)}, {"offset", walk.end_offset}}},
      {"installer_starts", review.outcome.launches},
      {"stop", stop_json(review)},
      {"launch", launch_json(review)},
      {"result", result_name(review)},
      {"errors", review.count(Severity::kError)},
      {"warnings", review.count(Severity::kWarning)},
      {"findings", findings_json(review.findings)}};
}

std::string json_text(const json& document) {
  return document.dump(2, ' ', true, json::error_handler_t::replace) + "\n";
}

}  // namespace vcpack
