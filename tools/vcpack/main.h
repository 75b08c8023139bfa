// The body of vcpack, which takes its arguments in UTF-8. Each system's entry
// point calls it: main_posix.cpp passes its arguments on, main_win32.cpp
// converts them from UTF-16 first.
#pragma once

namespace vcpack {

int main_utf8(int argc, char** argv);

}  // namespace vcpack
