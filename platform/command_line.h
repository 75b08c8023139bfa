// Command-line texts by the Windows rules, so that a package behaves the same
// on both platforms: POSIX joins argv into "commandline" with `join_arguments`
// and splits an installer's parameter text into argv with `split_arguments`.
// Plain string work without any system header: the POSIX backend and the
// POSIX entry file both use it, and it depends on nothing above the platform.
#pragma once

#include <string>
#include <vector>

namespace vcboot {

// Joins arguments with single blanks. An argument that is empty or holds a
// blank, tab or double quote is put in double quotes, with backslashes and
// quotes escaped so that `split_arguments` gives it back unchanged.
std::string join_arguments(const std::vector<std::string>& arguments);

// Splits a parameter text (no program name in front) by the Microsoft C
// runtime's rules: blanks and tabs separate, double quotes group, 2n
// backslashes before a quote give n and the quote groups, 2n+1 give n and a
// literal quote, "" inside quotes gives a literal quote, other backslashes
// are literal.
std::vector<std::string> split_arguments(const std::string& text);

}  // namespace vcboot
