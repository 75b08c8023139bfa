// What a package sets for its run before anything else: read from the
// settings block that the stub carries in its own image (settings_format.h),
// before the single-instance guard and without the archive, so that they
// hold even when the archive is cut short or cannot be read at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bootstrap/exit_code.h"
#include "bootstrap/settings_block.h"
#include "util/message_texts.h"

namespace vcboot {

// The single-instance guard's name when the package sets none: it keeps two
// Vellumcrest installations from running at once.
inline constexpr char kInstanceMutexName[] = "Vellumcrest.Installation";

// The names of the settings a block may hold besides the texts, whose names
// are those of util/message_texts.h. A bootstrap ignores any other name, so
// that later settings need no new format.
namespace setting_names {
// The guard's name: 1 to kMaxGuardNameLength printable ASCII characters
// (32 to 126), no '\' (a namespace on Windows) and no '/' (a path on POSIX).
inline constexpr char kGuardName[] = "guard-name";
// "installer" or "post", as the archive's "exitcode" (bootstrap/exit_code.h).
inline constexpr char kExitCode[] = "exit-code";
// Put into the default "Invalid Archive!" text in place of "Vellumcrest" and
// of the download address; a package that sets invalid-archive.text itself
// writes both into its own text.
inline constexpr char kProductName[] = "product-name";
inline constexpr char kDownloadAddress[] = "download-address";
// "none": no message box at all, for a package made for unattended
// deployment; what a box would have said goes to the support log.
inline constexpr char kUi[] = "ui";
// Where the support log goes: a template (bootstrap/log_template.h).
inline constexpr char kLog[] = "log";
}  // namespace setting_names

// The one value of "ui" (and of VCBOOT_UI) that changes anything.
inline constexpr char kUiNone[] = "none";

inline constexpr std::size_t kMaxGuardNameLength = 128;

struct PackageSettings {
  std::string guard_name = kInstanceMutexName;
  // The exit-code choice from the start of the run. An "exitcode" that the
  // archive binds decides instead once the archive has been read.
  ExitCodePolicy exit_code_policy = ExitCodePolicy::kDefault;
  MessageTexts texts;
  // "ui" = "none".
  bool no_boxes = false;
  // The support log's template; empty: no log unless the administrator
  // asks for one.
  std::string log_template;
};

// Whether the setting `name` can take `value`: the rules above for the names
// this bootstrap knows, any value (that a block may hold) for the others.
bool is_valid_setting(std::string_view name, std::string_view value);

// The settings of the block at the start of `room`; nothing when the room
// holds no block, a damaged one, or a value that its setting cannot take.
std::optional<PackageSettings> parse_package_settings(std::string_view room);

// The same, with the defaults (today's texts, guard and exit codes) in place
// of nothing: a package runs on the whole of its settings or on none.
PackageSettings read_package_settings(std::string_view room);

}  // namespace vcboot
