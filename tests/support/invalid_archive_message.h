// The box the bootstrap shows for a damaged or incomplete archive, spelled out
// here rather than taken from util/messages.h, so that a change to the text
// the program shows fails every test that checks it.
#pragma once

#include <string>

namespace vcboot::test_support {

inline constexpr char kInvalidArchiveCaption[] = "Invalid Archive!";
inline constexpr char kInvalidArchiveText[] =
    "We are sorry, but your installation / update did not complete due to "
    "unexpected download errors.\r\nPlease download the whole Vellumcrest "
    "program from https://www.vellumcrest.com/download/";

// The box as the POSIX bootstrap writes it to standard error: the caption and
// the text on lines of their own, then a blank line.
inline std::string invalid_archive_on_standard_error() {
  return std::string(kInvalidArchiveCaption) + "\n" + kInvalidArchiveText +
         "\n\n";
}

}  // namespace vcboot::test_support
