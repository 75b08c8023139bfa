// The checks of what the bootstrap would start: the variables it reads, in
// its order ("exitcode", "executable", "parameters", "post"), expanded by its
// own expansion on the bindings the package means to make.
#include <string>

#include "tools/vcpack/display_text.h"
#include "tools/vcpack/lint_context.h"
#include "util/messages.h"
#include "variables/expand_variables.h"
#include "variables/well_known_names.h"

namespace vcpack {
namespace {

namespace names = vcboot::variable_names;

constexpr char kTooLong[] = "(expansion grows without bound)";
constexpr char kTooMuchWork[] = "(expansion does not end)";

// A name that holds a blank or a double quote is the text between two
// references (as in `%a% "%b%"`), tried as a name by the rules of the
// expansion, rather than a reference that someone wrote.
bool looks_like_a_name(const std::string& name) {
  return name.find_first_of(" \t\"") == std::string::npos;
}

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Whether `what` occurs in `text` outside double quotes.
bool occurs_unquoted(const std::string& text, const std::string& what) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && text.compare(i, what.size(), what) == 0) {
      return true;
    }
  }
  return false;
}

bool is_absolute(const std::string& path, TargetSystem target) {
  if (target == TargetSystem::kPosix) return starts_with(path, "/");
  return starts_with(path, "\\") || starts_with(path, "/") ||
         (path.size() >= 2 && path[1] == ':');
}

class LaunchLint {
 public:
  LaunchLint(LintContext& lint)
      : lint_(lint),
        simulation_(lint.intended),
        separator_(lint.windows() ? '\\' : '/') {}

  LaunchPreview run() {
    LaunchPreview preview;
    // Read without creating it, so that a "%exitcode%" in the other values
    // stays in the text when nothing binds it.
    preview.exit_code = fetch(names::kExitCode, false);
    preview.exit_code_policy = exit_code_policy(preview.exit_code);
    if (!preview.exit_code.empty() &&
        preview.exit_code_policy == ExitCodePolicy::kDefault &&
        !last_unbounded_) {
      add("unknown-exit-code", names::kExitCode,
          "\"exitcode\" is " + quoted(preview.exit_code) +
              ", which the bootstrap does not know (it knows \"" +
              vcboot::exit_code_values::kInstaller + "\" and \"" +
              vcboot::exit_code_values::kPost +
              "\"): the exit code stays 0 or 1");
    }
    const std::string executable = fetch(names::kExecutable);
    check_installer(executable);
    preview.installer =
        std::string(kWorkFolderPlaceholder) + separator_ + executable;
    preview.parameters = fetch(names::kParameters);
    if (occurs_unquoted(preview.parameters, kWorkFolderPlaceholder)) {
      add("unquoted-source", names::kParameters,
          "\"parameters\" holds %source% outside double quotes: a work "
          "folder path with a blank in it (TEMP at C:\\Users Temp) reaches "
          "the installer as two or more arguments");
    }
    preview.post = fetch(names::kPost);
    check_post(preview.post);
    preview.unbounded = unbounded_;
    return preview;
  }

 private:
  // The finding is about the record that binds `variable`, if one does.
  void add(const char* id, const std::string& variable,
           const std::string& text) {
    const Binding* binding = find_binding(lint_.intended, variable);
    if (binding != nullptr && binding->record) {
      lint_.add_for_record(id, *binding->record, text);
    } else {
      lint_.add(id, text);
    }
  }

  std::string fetch(const std::string& name, bool create = true) {
    const FetchedValue value = simulation_.fetch(name, create);
    missing_ = value.missing;
    for (const std::string& unresolved : value.unresolved) {
      if (!looks_like_a_name(unresolved)) continue;
      add("unresolved-reference", name,
          "\"" + name + "\" refers to " + quoted("%" + unresolved + "%") +
              ", which nothing binds; it stays in the text as it is");
    }
    for (const std::string& cyclic : value.cyclic) {
      add("reference-cycle", name,
          "\"" + name + "\" leads to a reference cycle through " +
              quoted("%" + cyclic + "%") + ", which stays in the text");
    }
    last_unbounded_ = value.end != ExpansionEnd::kDone;
    if (value.end == ExpansionEnd::kTooLong) {
      add("unbounded-expansion", name,
          "\"" + name + "\": expansion grows without bound (past " +
              std::to_string(vcboot::kMaxExpandedSize) +
              " bytes): the bootstrap ends with \"" +
              vcboot::messages::kUnhandledExceptionText +
              "\" and starts nothing");
    } else if (value.end == ExpansionEnd::kTooMuchWork) {
      add("unbounded-expansion", name,
          "\"" + name + "\": expansion does not end (past " +
              std::to_string(vcboot::kMaxExpansionWork) +
              " bytes of work): the bootstrap ends with \"" +
              vcboot::messages::kUnhandledExceptionText +
              "\" and starts nothing");
    }
    unbounded_ = unbounded_ || last_unbounded_;
    if (value.end == ExpansionEnd::kTooLong) return kTooLong;
    if (value.end == ExpansionEnd::kTooMuchWork) return kTooMuchWork;
    return value.text;
  }

  void check_installer(const std::string& executable) {
    if (last_unbounded_) return;
    if (missing_ || executable.empty()) {
      add("no-executable", names::kExecutable,
          std::string(missing_ ? "no \"executable\""
                               : "\"executable\" is empty") +
              ": the bootstrap would ask the shell to open the work folder "
              "itself");
      return;
    }
    const WrittenFile* file = find_file(lint_.intended, executable);
    if (file == nullptr) {
      add("installer-not-packaged", names::kExecutable,
          "the installer " + quoted(executable) +
              " is not among the files the package writes");
      return;
    }
    const std::string& head = lint_.walk.records[file->record].content_head;
    std::string format;
    if (lint_.windows() && starts_with(head,
                                       "\x7f"
                                       "ELF")) {
      format = "an ELF program, which Windows does not run";
    } else if (lint_.windows() && starts_with(head, "#!")) {
      format = "a script (#!), which Windows does not run";
    } else if (!lint_.windows() && starts_with(head, "MZ")) {
      format = "a Windows program, which a POSIX system does not run";
    }
    if (!format.empty()) {
      lint_.add_for_record("installer-format", file->record,
                           "the installer " + quoted(executable) +
                               ", written by " + lint_.label(file->record) +
                               ", is " + format);
    }
  }

  void check_post(const std::string& post) {
    if (post.empty() || last_unbounded_) return;
    const std::string in_work_folder =
        std::string(kWorkFolderPlaceholder) + separator_;
    const bool local = starts_with(post, in_work_folder);
    const std::string name = local ? post.substr(in_work_folder.size()) : post;
    if (!local && is_absolute(post, lint_.outcome.target)) return;
    if (find_file(lint_.intended, name) != nullptr) return;
    add("post-not-packaged", names::kPost,
        "\"post\" names " + quoted(post) +
            ", which is no file of the package and no absolute path: unless "
            "the system finds it on its search path, the bootstrap skips it "
            "without a word");
  }

  LintContext& lint_;
  LaunchSimulation simulation_;
  const char separator_;
  bool missing_ = false;         // the last variable fetched was not bound
  bool last_unbounded_ = false;  // its expansion was given up
  bool unbounded_ = false;       // some expansion was
};

}  // namespace

std::optional<LaunchPreview> check_launch(LintContext& lint) {
  if (lint.intended.stop == WalkStop::kDamage) return std::nullopt;
  return LaunchLint(lint).run();
}

}  // namespace vcpack
