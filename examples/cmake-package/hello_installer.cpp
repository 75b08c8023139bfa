// The example's installer: greets its arguments and shows the readme that
// the package put beside it in the work folder.
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  std::cout << "hello_installer:";
  for (int i = 1; i < argc; ++i) std::cout << " [" << argv[i] << "]";
  std::cout << "\n";
  std::ifstream readme("readme.txt");
  std::string line;
  while (std::getline(readme, line)) std::cout << "readme: " << line << "\n";
  return readme.is_open() ? 0 : 1;
}
