#include "bootstrap/support_log.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "bootstrap/log_template.h"
#include "vcboot_version.h"

namespace vcboot {
namespace {

bool is_none(const std::string& value) {
  if (value.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if ((value[i] | 0x20) != kUiNone[i]) return false;
  }
  return true;
}

// The temporary directory without its closing separator, as %TEMP%.
std::string temp_folder(Platform& platform) {
  std::string temp = platform.temp_directory();
  if (temp.empty()) temp = platform.fallback_temp_directory();
  temp.pop_back();
  return temp;
}

void write_package_line(Platform& platform, RunLog& log) {
  const std::string path = platform.module_path();
  const std::unique_ptr<File> file =
      path.empty() ? nullptr : platform.open_for_reading(path);
  const std::optional<std::uint64_t> size =
      file ? file->seek(0, File::Origin::kEnd) : std::nullopt;
  if (size) {
    log.write({"Package: \"", path, "\", ", decimal(*size), " bytes"});
    return;
  }
  const std::uint32_t error = platform.last_error();
  log.write({"Package: \"", path, "\", size unknown: error ", code_text(error),
             ": ", platform.system_error_text(error)});
}

void write_user_line(Platform& platform, RunLog& log) {
  const std::optional<bool> elevated = platform.is_elevated();
  const std::optional<std::uint32_t> session = platform.session_id();
  log.write({"User: \"", platform.user_name(), "\", elevated: ",
             !elevated   ? "unknown"
             : *elevated ? "yes"
                         : "no",
             ", session ",
             session ? std::string_view(decimal(*session))
                     : std::string_view("unknown")});
}

void write_messages_line(Platform& platform, Messenger& messenger) {
  RunLog& log = messenger.log();
  if (const char* reason = messenger.why_no_box()) {
    log.write({"Message boxes: none (", reason,
               "); each message is written here, and the run goes on as if "
               "OK had been pressed"});
  } else if (platform.message_display() == MessageDisplay::kNeverWaits) {
    const char* held = messenger.boxes_held_because();
    log.write({"Messages: written to standard error and here",
               held != nullptr ? ", where nothing waits (" : "",
               held != nullptr ? held : "",
               held != nullptr ? " changes nothing)" : ""});
  } else {
    log.write({"Message boxes: shown, and written here"});
  }
}

void start_log(Platform& platform, const PackageSettings& settings,
               const std::string& command_line, Messenger& messenger) {
  const std::optional<std::string> asked =
      platform.environment_variable(kLogVariable);
  const bool by_administrator = asked && !asked->empty();
  const std::string& chosen = by_administrator ? *asked : settings.log_template;
  if (chosen.empty()) return;

  const std::uint32_t pid = platform.process_id();
  const LogTemplateValues values{temp_folder(platform),
                                 log_file_time(platform.local_time()),
                                 std::string(decimal(pid))};
  const std::string path = expand_log_template(chosen, values);
  std::unique_ptr<File> file = platform.open_log(path);
  const std::uint32_t open_error = file ? 0 : platform.last_error();
  if (!file) {
    std::string fallback = "%TEMP%";
    fallback += platform.path_separator();
    fallback += "vcboot-%time%-%pid%.log";
    file = platform.open_log(expand_log_template(fallback, values));
    if (!file) return;
  }
  RunLog& log = messenger.log();
  log.start(platform, std::move(file));

  log.write({"vcboot " VCBOOT_VERSION_TEXT " (",
             sizeof(void*) == 4 ? "32" : "64", "-bit), process ", values.pid,
             ": support log, as ",
             by_administrator ? "VCBOOT_LOG" : "the package's setting \"log\"",
             " asks"});
  if (open_error != 0) {
    log.write({"Could not open the log \"", path, "\" (error ",
               code_text(open_error), ": ",
               platform.system_error_text(open_error),
               "); it is written here instead"});
  }
  write_package_line(platform, log);
  log.write({"Command line: \"", command_line, "\""});
  write_user_line(platform, log);
  write_messages_line(platform, messenger);
  const std::optional<std::string> ui =
      platform.environment_variable(kUiVariable);
  if (ui && !is_none(*ui)) {
    log.write({"VCBOOT_UI=", *ui, " changes nothing: it takes \"none\""});
  }
}

}  // namespace

void hold_boxes_if_asked(Platform& platform, const PackageSettings& settings,
                         Messenger& messenger) {
  const std::optional<std::string> ui =
      platform.environment_variable(kUiVariable);
  if (ui && is_none(*ui)) {
    messenger.hold_boxes("VCBOOT_UI=none");
  } else if (settings.no_boxes) {
    messenger.hold_boxes("the package's setting ui=none");
  }
}

void start_support_log(Platform& platform, const PackageSettings& settings,
                       const std::string& command_line, Messenger& messenger) {
  // A lack of memory costs the log, never the installation.
  try {
    start_log(platform, settings, command_line, messenger);
  } catch (...) {
  }
}

void log_exit_code(RunLog& log, int code, RunEnd end, ExitCodePolicy policy,
                   int stop_signal) {
  if (stop_signal != 0) {
    log.write({"Exit code ", code_text(static_cast<std::uint32_t>(code)),
               ": stopped on request (signal ",
               decimal(static_cast<std::uint32_t>(stop_signal)), ")"});
    return;
  }
  log.write({"Exit code ", code_text(static_cast<std::uint32_t>(code)), ": ",
             run_end_text(end),
             policy == ExitCodePolicy::kDefault
                 ? "; the package keeps the default exit codes"
             : policy == ExitCodePolicy::kInstaller
                 ? "; the package asks for the installer's exit code"
                 : "; the package asks for the post program's exit code"});
}

}  // namespace vcboot
