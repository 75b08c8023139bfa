#include "bootstrap/package_settings.h"

#include "bootstrap/log_template.h"
#include "util/messages.h"
#include "variables/well_known_names.h"

namespace vcboot {
namespace {

bool is_guard_name(std::string_view name) {
  if (name.empty() || name.size() > kMaxGuardNameLength) return false;
  for (const char c : name) {
    if (c < ' ' || c > '~' || c == '\\' || c == '/') return false;
  }
  return true;
}

}  // namespace

bool is_valid_setting(std::string_view name, std::string_view value) {
  if (name == setting_names::kGuardName) return is_guard_name(value);
  if (name == setting_names::kExitCode) {
    return value == exit_code_values::kInstaller ||
           value == exit_code_values::kPost;
  }
  if (name == setting_names::kUi) return value == kUiNone;
  if (name == setting_names::kLog) return is_valid_log_template(value);
  return true;
}

std::optional<PackageSettings> parse_package_settings(std::string_view room) {
  const std::optional<SettingsEntries> entries = parse_settings_block(room);
  if (!entries) return std::nullopt;
  PackageSettings settings;
  // The default "Invalid Archive!" text names them; the package's own text
  // names what it likes.
  std::string_view product = messages::kProductName;
  std::string_view address = messages::kDownloadAddress;
  bool compose = false;
  bool own_invalid_archive_text = false;
  for (const SettingsEntry& entry : *entries) {
    if (!is_valid_setting(entry.name, entry.value)) return std::nullopt;
    if (entry.name == setting_names::kGuardName) {
      settings.guard_name = entry.value;
    } else if (entry.name == setting_names::kExitCode) {
      settings.exit_code_policy = exit_code_policy(entry.value);
    } else if (entry.name == setting_names::kUi) {
      settings.no_boxes = true;
    } else if (entry.name == setting_names::kLog) {
      settings.log_template = entry.value;
    } else if (entry.name == setting_names::kProductName) {
      product = entry.value;
      compose = true;
    } else if (entry.name == setting_names::kDownloadAddress) {
      address = entry.value;
      compose = true;
    } else if (const auto text = find_message_text(entry.name)) {
      own_invalid_archive_text |= *text == MessageText::kInvalidArchiveText;
      settings.texts.set(*text, entry.value);
    }
  }
  if (compose && !own_invalid_archive_text) {
    std::string text = messages::kInvalidArchiveTextStart;
    text.append(product).append(messages::kInvalidArchiveTextMiddle);
    settings.texts.set(MessageText::kInvalidArchiveText, text.append(address));
  }
  return settings;
}

PackageSettings read_package_settings(std::string_view room) {
  std::optional<PackageSettings> settings = parse_package_settings(room);
  return settings ? std::move(*settings) : PackageSettings();
}

}  // namespace vcboot
