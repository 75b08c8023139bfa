#include "tools/vcpack/report.h"

#include <utility>

#include "bootstrap/settings_writer.h"
#include "tools/vcpack/display_text.h"
#include "util/messages.h"

namespace vcpack {
namespace {

std::string numbers(const std::vector<std::size_t>& indices) {
  std::string text;
  for (std::size_t index : indices)
    text += (text.empty() ? "" : ", ") + record_number(index);
  return text;
}

// What the bootstrap does with a binding made by record `index`.
std::string binding_effect(const PackageOutcome& outcome,
                           const std::string& name, std::size_t index) {
  const Binding* binding = find_binding(outcome, name);
  if (binding == nullptr) return "";
  if (binding->record == index) return "binds " + shown(name);
  if (!binding->record) return shown(name) + " is set by the bootstrap";
  return shown(name) + " shadowed by " + record_number(*binding->record);
}

std::string file_effect(const PackageOutcome& outcome,
                        const WalkedRecord& record, std::size_t index) {
  std::string effect = "writes " + shown(record.file_name);
  if (const WrittenFile* file = file_written_by(outcome, index)) {
    if (file->name != record.file_name) effect += " into " + shown(file->name);
    if (file->record != index) {
      effect += ", then overwritten by " + record_number(file->record);
    }
  }
  if (!record.name.empty())
    effect += "; " + binding_effect(outcome, record.name, index);
  return effect;
}

}  // namespace

std::string record_outcome(const PackageWalk& walk,
                           const PackageOutcome& outcome, std::size_t index) {
  const WalkedRecord& record = walk.records[index];
  if (index > outcome.acted_on) return "not reached";
  if (index == outcome.acted_on) {
    switch (outcome.stop) {
      case WalkStop::kStubRecord:
        return "the walk ends here";
      case WalkStop::kRefusedName:
        return "REFUSED NAME: the bootstrap stops here";
      case WalkStop::kUnwritableName:
        return "CANNOT BE WRITTEN: the bootstrap stops here";
      case WalkStop::kDamage:
        break;
    }
    if (!record.verified()) return "DAMAGED: the bootstrap stops here";
    return "cut short: the bootstrap stops here";
  }
  switch (record.type) {
    case RecordType::kTail:
      return "archive complete";
    case RecordType::kValue:
      return binding_effect(outcome, record.name, index);
    case RecordType::kFile:
      return file_effect(outcome, record, index);
    default:
      return "skipped: unknown type";
  }
}

namespace {

std::string digests_of(const WalkedRecord& record) {
  if (!record.verified()) return "BAD";
  return record.complete ? "ok" : "ok so far";
}

std::string records_section(const PackageWalk& walk,
                            const PackageOutcome& outcome) {
  const auto row = [&](std::size_t r) -> std::vector<std::string> {
    if (r == 0) {
      return {"#",         "offset", "type",    "name/key",
              "file name", "bytes",  "digests", "outcome"};
    }
    const std::size_t i = r - 1;
    const WalkedRecord& record = walk.records[i];
    const bool named =
        record.type != RecordType::kTail &&
        !(record.type == RecordType::kFile && record.name.empty());
    const bool sized =
        record.type == RecordType::kValue || record.type == RecordType::kFile;
    return {std::to_string(i + 1),
            std::to_string(record.offset),
            type_name(record),
            named ? shown(record.name) : "",
            record.type == RecordType::kFile ? shown(record.file_name) : "",
            sized ? std::to_string(record.content_size) : "",
            digests_of(record),
            record_outcome(walk, outcome, i)};
  };
  return "Records, in the order the bootstrap reads them (from the end):\n" +
         aligned_rows(walk.records.size() + 1, row, {0, 1, 5});
}

std::string bindings_section(const PackageOutcome& outcome) {
  std::vector<std::vector<std::string>> rows;
  for (const Binding& binding : outcome.bindings) {
    if (!binding.record) {
      rows.push_back({binding.name, "= " + binding.value,
                      "set by the bootstrap" +
                          (binding.shadowed.empty()
                               ? ""
                               : "; shadows " + numbers(binding.shadowed))});
      continue;
    }
    std::string from = "from " + record_number(*binding.record);
    if (!binding.shadowed.empty())
      from += "; shadows " + numbers(binding.shadowed);
    rows.push_back({shown(binding.name), "= " + quoted(binding.value), from});
  }
  return "Variables (the record nearest the end wins):\n" +
         aligned_rows(rows, {});
}

std::string files_section(const PackageOutcome& outcome) {
  if (outcome.files.empty())
    return "Files written into the work folder: none\n";
  const auto row = [&](std::size_t i) -> std::vector<std::string> {
    const WrittenFile& file = outcome.files[i];
    std::string from = "content of " + record_number(file.record);
    if (!file.replaced.empty())
      from += "; overwrites " + numbers(file.replaced);
    return {shown(file.name), from};
  };
  return "Files written into the work folder:\n" +
         aligned_rows(outcome.files.size(), row, {});
}

std::string trailing_section(const PackageWalk& walk) {
  if (!walk.tail_end) return "";
  const std::uint64_t trailing = walk.file_size - *walk.tail_end;
  std::string text =
      "Behind the tail chunk: " + std::to_string(trailing) + " bytes";
  const auto& table = walk.certificate_table;
  if (table && table->offset >= *walk.tail_end) {
    text += ": " + std::to_string(table->offset - *walk.tail_end) +
            " bytes, then a certificate table of " +
            std::to_string(table->size) + " bytes at offset " +
            std::to_string(table->offset) + " (a signed PE file)";
  }
  return text + ".\n";
}

// What Windows reads from a stub that is a PE image before and while it
// runs it: the manifest's execution level and the version resource.
std::string stub_resources_section(const PeResources& resources) {
  std::string text = "Stub manifest: ";
  if (!resources.has_manifest) {
    text += "none.\n";
  } else if (resources.execution_level.empty()) {
    text += "requests no execution level.\n";
  } else {
    text += "requested execution level " + shown(resources.execution_level);
    if (!resources.ui_access.empty())
      text += ", uiAccess " + shown(resources.ui_access);
    text += ".\n";
  }
  text += "Stub icon: ";
  if (resources.icons.empty()) text += "none";
  for (const IconImage& icon : resources.icons) {
    text += (&icon == &resources.icons.front() ? "" : ", ") +
            std::to_string(icon.width) + "x" + std::to_string(icon.height) +
            " (" + std::to_string(icon.bit_count) + " bits)";
  }
  text += ".\n";
  if (!resources.version) return text + "Stub version resource: none.\n";
  const VersionResource& version = *resources.version;
  text += "Stub version resource: file " + shown(version.file_version) +
          ", product " + shown(version.product_version) + "\n";
  std::vector<std::vector<std::string>> rows;
  for (const auto& [key, value] : version.strings)
    rows.push_back({shown(key), quoted(value)});
  return text + aligned_rows(rows, {});
}

// The settings that the bootstrap reads before anything else, those that
// differ from its defaults.
std::string stub_settings_section(const StubChunks& stub) {
  const StubSettings& settings = stub.settings;
  switch (settings.block) {
    case StubSettings::Block::kNoRoom:
      if (stub.format.kind != ProgramKind::kElf) return "";
      return "Stub settings: the stub has no room for them.\n";
    case StubSettings::Block::kNone:
      return "Stub settings: none; the bootstrap runs on its defaults.\n";
    case StubSettings::Block::kDamaged:
      return "Stub settings: DAMAGED; the bootstrap runs on its defaults.\n";
    case StubSettings::Block::kSound:
      break;
  }
  std::vector<std::vector<std::string>> rows;
  for (const vcboot::SettingsEntry& entry : settings.entries) {
    if (is_default_setting(entry)) continue;
    rows.push_back({entry.name, "= " + quoted(entry.value) +
                                    (vcboot::is_known_setting_name(entry.name)
                                         ? ""
                                         : "  (this bootstrap ignores it)")});
  }
  if (rows.empty()) return "Stub settings: every one the default.\n";
  return "Stub settings, where they differ from the defaults:\n" +
         aligned_rows(rows, {});
}

// The installer's kind: an .msi or a .cmd file is opened through its file
// association, not run.
std::string installer_section(const PackageWalk& walk,
                              const CheckedPackage& checked) {
  if (!checked.preview || !checked.preview->installer_record) return "";
  const std::size_t index = *checked.preview->installer_record;
  const WalkedRecord& record = walk.records[index];
  return "Installer: " + shown(record.file_name) + ", written by " +
         record_number(index) + "; kind: " + describe(record.format) + ".\n";
}

std::string stub_section(const PackageWalk& walk) {
  if (!walk.stub) return "";
  const StubChunks& stub = *walk.stub;
  return "Stub: " + shown(stub.file_name) + " (kind: " + describe(stub.format) +
         "), an image of " + std::to_string(stub.image_size) +
         " bytes at offset " + std::to_string(stub.image_offset) +
         "; the bootstrap never reads it (its digest " +
         (stub.image_verified ? "matches" : "differs, as after signing") +
         ").\n" +
         (stub.resources ? stub_resources_section(*stub.resources) : "") +
         stub_settings_section(stub);
}

}  // namespace

std::string listing_text(const PackageWalk& walk,
                         const CheckedPackage& checked) {
  const PackageOutcome& outcome = checked.outcome;
  std::string text =
      "Package " + walk.path + ": " + std::to_string(walk.file_size) + " bytes";
  if (walk.end == WalkEnd::kInsideStub) {
    return text +
           "; no tail chunk: the package ends inside the stub (cut short, or "
           "with no archive at all), or its tail chunk is damaged.\n";
  }
  if (!walk.tail_end) return text + "; no tail marker found.\n";
  text += "; the tail chunk ends at offset " + std::to_string(*walk.tail_end) +
          ".\n\n";
  // Appended piece by piece: the sections of a package of many records are
  // large, and a sum of them would be a copy of each.
  text += records_section(walk, outcome);
  text += "\n" + launch_text(checked) + installer_section(walk, checked) + "\n";
  text += bindings_section(outcome);
  text += "\n";
  text += files_section(outcome);
  text += "\n";
  text += trailing_section(walk) + stub_section(walk);
  return text;
}

std::string walk_end_text(const PackageWalk& walk) {
  switch (walk.end) {
    case WalkEnd::kStub:
      return "the walk ends at the stub record at offset " +
             std::to_string(walk.end_offset);
    case WalkEnd::kNoTail:
      return "no tail marker was found";
    case WalkEnd::kInsideStub:
      return "the package ends inside the stub";
    case WalkEnd::kStubNotAtStart:
      return "the walk ends at a stub record at offset " +
             std::to_string(walk.end_offset) + " that does not begin the file";
    default:
      if (walk.end_offset == 0)
        return "the walk runs to the start of the file: no stub record";
      return "the walk stops at a chunk ending at offset " +
             std::to_string(walk.end_offset) + " that cannot be read";
  }
}

std::string launch_text(const CheckedPackage& checked) {
  const PackageOutcome& outcome = checked.outcome;
  if (outcome.launches) {
    return "The archive is complete: the bootstrap starts the installer.\n" +
           exit_code_text(checked);
  }
  const bool name_stop = outcome.stop == WalkStop::kRefusedName ||
                         outcome.stop == WalkStop::kUnwritableName;
  if (name_stop) {
    return "The walk stops at " + record_number(outcome.acted_on) +
           ", a file the bootstrap cannot write: it shows \"" +
           vcboot::messages::kFailedToExtractFile + "\" and starts nothing.\n";
  }
  return std::string("The archive is NOT complete: the bootstrap shows \"") +
         vcboot::messages::kInvalidArchiveCaption + "\" and starts nothing.\n";
}

std::string exit_code_text(const CheckedPackage& checked) {
  if (!checked.preview) return "";
  const LaunchPreview& preview = *checked.preview;
  switch (preview.exit_code_policy) {
    case vcboot::ExitCodePolicy::kInstaller:
      return "Exit code: the installer's (\"exitcode\" = \"installer\"); 1603 "
             "when the bootstrap fails.\n";
    case vcboot::ExitCodePolicy::kPost:
      return "Exit code: the post program's, or the installer's when none "
             "runs (\"exitcode\" = \"post\"); 1603 when the bootstrap fails.\n";
    case vcboot::ExitCodePolicy::kDefault:
      break;
  }
  if (preview.exit_code.empty()) {
    return "Exit code: 0, or 1 when the run cannot begin (\"exitcode\" is not "
           "set).\n";
  }
  return "Exit code: 0, or 1 when the run cannot begin (\"exitcode\" = " +
         quoted(preview.exit_code) + " selects nothing).\n";
}

}  // namespace vcpack
