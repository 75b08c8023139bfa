#include "tools/vcpack/main.h"

int main(int argc, char** argv) { return vcpack::main_utf8(argc, argv); }
