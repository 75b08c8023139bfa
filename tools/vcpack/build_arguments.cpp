#include "tools/vcpack/build_arguments.h"

#include <CLI/CLI.hpp>

#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

// "KEY=PATH" or "PATH"; a path holding "=" is given as "=PATH".
RecordSpec file_from_argument(const std::string& argument, std::size_t index) {
  const std::string origin = "--file #" + std::to_string(index + 1);
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos) return file_record(argument, "", origin);
  return file_record(argument.substr(equals + 1), argument.substr(0, equals),
                     origin);
}

RecordSpec value_from_argument(const std::string& argument, std::size_t index) {
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    throw usage_or_io_error("--value needs NAME=TEXT, got \"" + argument +
                            "\"");
  }
  return value_record(argument.substr(0, equals), argument.substr(equals + 1),
                      "--value #" + std::to_string(index + 1));
}

}  // namespace

BuildOptions build_options_in_order(const BuildArguments& arguments,
                                    const std::vector<std::string>& sequence) {
  BuildOptions options = arguments.options;
  std::size_t files = 0, names = 0, values = 0;
  // The --file that a --as names: the record just before it, if a file.
  std::size_t last_file = 0;
  bool can_name = false;
  for (const std::string& option : sequence) {
    if (option == "--file") {
      options.records.push_back(
          file_from_argument(arguments.files.at(files), files));
      ++files;
      last_file = options.records.size() - 1;
      can_name = true;
    } else if (option == "--value") {
      options.records.push_back(
          value_from_argument(arguments.values.at(values), values));
      ++values;
      can_name = false;
    } else if (option == "--as") {
      const std::string& name = arguments.stored_names.at(names++);
      if (!can_name) {
        throw usage_or_io_error("--as " + name +
                                " must follow the --file it names");
      }
      options.records[last_file].stored_name = name;
      can_name = false;
    }
  }
  return options;
}

BuildOptions build_options_in_order(const BuildArguments& arguments,
                                    const CLI::App& build) {
  std::vector<std::string> sequence;
  for (const CLI::Option* option : build.parse_order()) {
    sequence.push_back(option->get_name());
  }
  return build_options_in_order(arguments, sequence);
}

}  // namespace vcpack
