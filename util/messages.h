// Texts that more than one part of the program shows to the user.
#pragma once

namespace vcboot::messages {

inline constexpr char kInvalidArchiveCaption[] = "Invalid Archive!";
// Ends with the product page where a user gets a complete copy again.
inline constexpr char kInvalidArchiveText[] =
    "We are sorry, but your installation / update did not complete due to "
    "unexpected download errors.\r\nPlease download the whole Vellumcrest "
    "program from https://www.vellumcrest.com/download/";

}  // namespace vcboot::messages
