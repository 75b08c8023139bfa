// vcpack: makes vcboot packages and shows what the bootstrap will do with them.
// All of its argument handling is here: each command's options and help
// texts (CLI11), and how a failure becomes an exit code. The commands
// themselves are in commands.cpp.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "tools/vcpack/commands.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/tool_error.h"

namespace {

constexpr char kBuildFooter[] =
    R"(Records are written in the order given: first the manifest's, then those
of --file and --value in command-line order. The bootstrap reads a package
from its end, so when two records bind the same variable the later one wins;
`vcpack list` shows the outcome. A --stub given on the command line replaces
the manifest's stub.

The manifest is a TOML file; its format is described in vcpack.md, in
share/doc/vcboot/ when installed, beside vcpack.exe in the Windows zip, and
as tools/vcpack/README.md in the source tree.

The package is written to a temporary file beside OUTPUT and renamed when it
is complete; "--output -" (standard output) is therefore not supported.

Before the package takes OUTPUT's name, vcpack checks it as `vcpack verify`
does. Warnings are printed; an error (a package that cannot do at run time
what it says) leaves nothing written, unless --allow names it.

Exit codes: 0 written; 1 refused (an input the bootstrap could not use, one
that cannot be read, or an error found in the package); 2 usage or output
error.)";

constexpr char kFooter[] =
    R"(Documentation: vcpack.md, in share/doc/vcboot/ when installed, beside
vcpack.exe in the Windows zip, and as tools/vcpack/README.md in the source
tree.)";

constexpr char kStubsFooter[] =
    R"(A target is a folder named for it that holds vcboot.exe or vcboot. The
places looked in, in order: $VCBOOT_STUB_DIR; ../lib/vcboot/stubs from
vcpack's folder (an installed tree); stubs/ beside vcpack (the Windows zip).
The first place that holds a target gives its stub. A --stub or "stub ="
that names an existing file is that file.

Exit codes: 0 stubs found; 1 none found.)";

constexpr char kVerifyFooter[] =
    R"(An error named by --allow is printed as a warning and fails nothing, as in
build: give verify the IDs that build was given.

Exit codes: 0 no errors (warnings are printed); 1 errors (with --strict:
errors or warnings); 2 usage or I/O error.)";

// An option given an empty text is refused, never taken as not given: a
// script's --guard-name "$NAME" or --exit-code "$MODE" with the variable
// unset would otherwise build a package with the default, without a word.
const CLI::Validator kNotEmpty(
    [](std::string& text) {
      return text.empty() ? std::string("needs a value, not an empty text")
                          : std::string();
    },
    "");

struct Commands {
  CLI::App* build = nullptr;
  CLI::App* list = nullptr;
  CLI::App* verify = nullptr;
  CLI::App* extract = nullptr;
  CLI::App* stubs = nullptr;
  vcpack::BuildArguments build_arguments;
  vcpack::ListOptions list_options;
  vcpack::VerifyOptions verify_options;
  vcpack::ExtractOptions extract_options;
};

// --allow, which build, list and verify take alike: build then writes a
// package that list and verify given the same IDs pass.
void add_allow(CLI::App& command, std::vector<std::string>& allowed) {
  command
      .add_option("--allow", allowed,
                  "Accept the error ID on purpose (one ID each time; see "
                  "vcpack.md for the IDs)")
      ->type_name("ID")
      ->allow_extra_args(false);
}

// The options of build that decide what is checked and converted.
void add_build_checks(CLI::App& build, vcpack::BuildOptions& options) {
  add_allow(build, options.allowed);
  build
      .add_option("--encoding", options.encoding,
                  "Store names and values in CODEPAGE (such as CP1252), "
                  "converted from UTF-8, for a Windows stub")
      ->type_name("CODEPAGE")
      ->check(kNotEmpty);
  build
      .add_option("--exit-code", options.exit_code,
                  "Return the installer's or the post program's exit code "
                  "(a last value record \"exitcode\")")
      ->type_name("installer|post")
      ->check(kNotEmpty);
}

// The options that give the package its own identity in its copy of the
// stub (stub_identity.h).
void add_identity(CLI::App& build, vcpack::BuildArguments& arguments) {
  vcpack::StubIdentity& identity = arguments.options.identity;
  build
      .add_option("--icon", identity.icon,
                  "The program's icon in the package: a .ico file (Windows "
                  "stubs)")
      ->type_name("FILE")
      ->check(kNotEmpty);
  build
      .add_option("--version-info", arguments.version_info,
                  "A text of the version resource, such as "
                  "ProductName=\"Acme Widget\" (Windows stubs)")
      ->type_name("KEY=TEXT")
      ->allow_extra_args(false);
  build
      .add_option("--version", identity.version,
                  "The version resource's numbers, and its FileVersion and "
                  "ProductVersion where not given (Windows stubs)")
      ->type_name("1.2.3.4")
      ->check(kNotEmpty);
  build
      .add_option("--execution-level", identity.execution_level,
                  "The rights the manifest asks for; asInvoker unless given "
                  "(Windows stubs)")
      ->type_name("asInvoker|highestAvailable|requireAdministrator")
      ->check(kNotEmpty);
  build
      .add_option("--text", arguments.texts,
                  "A caption or text of the bootstrap's messages, by its name "
                  "(such as invalid-archive.text; see vcpack.md)")
      ->type_name("NAME=TEXT")
      ->allow_extra_args(false);
  for (std::size_t i = 0; i < std::size(vcpack::kPlainSettings); ++i) {
    const vcpack::PlainSetting& setting = vcpack::kPlainSettings[i];
    build.add_option(setting.option, arguments.plain_settings[i], setting.help)
        ->type_name(setting.value_name)
        ->check(kNotEmpty);
  }
}

void add_build(CLI::App& app, Commands& commands) {
  CLI::App* build = app.add_subcommand(
      "build", "Make a package from a stub, files and values");
  vcpack::BuildArguments& arguments = commands.build_arguments;
  build
      ->add_option("-o,--output", arguments.options.output,
                   "The package to write")
      ->type_name("OUTPUT")
      ->required();
  build
      ->add_option("-m,--manifest", arguments.options.manifest,
                   "A TOML manifest naming the stub and the records")
      ->type_name("FILE")
      ->check(kNotEmpty);
  build
      ->add_option("--stub", arguments.options.stub,
                   "The bootstrap program (vcboot or vcboot.exe), stored under "
                   "key \"stub\": a path, or a target name such as win32, "
                   "win64 or linux-x86_64 (see vcpack stubs)")
      ->type_name("PATH|TARGET")
      ->check(kNotEmpty);
  build
      ->add_option(
          "--file", arguments.files,
          "A file record: the file at PATH, its key bound to its stored name")
      ->type_name("[KEY=]PATH")
      ->allow_extra_args(false);
  build
      ->add_option(
          "--as", arguments.stored_names,
          "The stored name of the --file before it (default: its base name)")
      ->type_name("NAME")
      ->allow_extra_args(false);
  build
      ->add_option("--value", arguments.values,
                   "A value record: NAME bound to TEXT")
      ->type_name("NAME=TEXT")
      ->allow_extra_args(false);
  add_build_checks(*build, arguments.options);
  add_identity(*build, arguments);
  build->footer(kBuildFooter);
  commands.build = build;
}

void add_inspectors(CLI::App& app, Commands& commands) {
  commands.list = app.add_subcommand(
      "list", "Show a package's records in the order the bootstrap meets them");
  commands.list
      ->add_option("PACKAGE", commands.list_options.package,
                   "The package to list")
      ->type_name("")
      ->required();
  commands.list->add_flag("--json", commands.list_options.json,
                          "Machine-readable output");
  add_allow(*commands.list, commands.list_options.allowed);

  commands.verify = app.add_subcommand(
      "verify",
      "Check every digest the bootstrap checks, and what it would do");
  commands.verify
      ->add_option("PACKAGE", commands.verify_options.package,
                   "The package to check")
      ->type_name("")
      ->required();
  commands.verify->add_flag("--strict", commands.verify_options.strict,
                            "Warnings make the exit code 1, as errors do");
  commands.verify->add_flag("--json", commands.verify_options.json,
                            "Machine-readable output");
  add_allow(*commands.verify, commands.verify_options.allowed);
  commands.verify->footer(kVerifyFooter);

  commands.extract =
      app.add_subcommand("extract",
                         "Write the files the bootstrap would write into DIR, "
                         "and show the variables");
  commands.extract
      ->add_option("PACKAGE", commands.extract_options.package,
                   "The package to extract")
      ->type_name("")
      ->required();
  commands.extract
      ->add_option("DIR", commands.extract_options.directory,
                   "An existing folder to write the files into")
      ->type_name("")
      ->required();
}

// The build options, with the record options (--file, --as, --value) put
// back into the order in which they were given.
vcpack::BuildOptions build_options_in_order(
    const vcpack::BuildArguments& arguments, const CLI::App& build) {
  std::vector<std::string> sequence;
  for (const CLI::Option* option : build.parse_order()) {
    sequence.push_back(option->get_name());
  }
  return vcpack::build_options_in_order(arguments, sequence);
}

void add_stubs(CLI::App& app, Commands& commands) {
  commands.stubs = app.add_subcommand(
      "stubs", "List the stubs that --stub finds by target name");
  commands.stubs->footer(kStubsFooter);
}

int run_selected(const Commands& commands) {
  if (commands.build->parsed()) {
    return vcpack::run_build(
        build_options_in_order(commands.build_arguments, *commands.build));
  }
  if (commands.list->parsed()) return vcpack::run_list(commands.list_options);
  if (commands.stubs->parsed()) return vcpack::run_stubs();
  if (commands.verify->parsed())
    return vcpack::run_verify(commands.verify_options);
  return vcpack::run_extract(commands.extract_options);
}

// The body of vcpack, which takes its arguments in UTF-8.
int run_command_line(int argc, char** argv) {
  CLI::App app{"vcpack makes vcboot installer packages and inspects them.",
               "vcpack"};
  app.set_version_flag("--version", std::string("vcpack ") + VCPACK_VERSION);
  app.require_subcommand(1);
  Commands commands;
  add_build(app, commands);
  add_inspectors(app, commands);
  add_stubs(app, commands);
  // Set after the commands are added, which would otherwise inherit it.
  app.footer(kFooter);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    std::cerr << "vcpack: error: " << error.what() << "\n"
              << "Run 'vcpack --help' or 'vcpack COMMAND --help' for usage.\n";
    return vcpack::kExitUsageOrIo;
  }
  try {
    return run_selected(commands);
  } catch (const vcpack::ToolError& error) {
    std::cerr << "vcpack: error: " << error.what() << "\n";
    return error.exit_code();
  } catch (const std::exception& error) {
    std::cerr << "vcpack: error: " << error.what() << "\n";
    return vcpack::kExitUsageOrIo;
  }
}

int run(int argc, vcpack::ArgumentChar** argv) {
  vcpack::Utf8Arguments arguments(argc, argv);
  return run_command_line(arguments.count(), arguments.values());
}

}  // namespace

// vcpack.exe is linked with -municode: its arguments arrive in UTF-16.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
