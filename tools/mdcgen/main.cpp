#include <iostream>
#include <string>
#include <vector>

#include "mdcgen/cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return mdcgen::RunMdcgen(args, std::cout, std::cerr);
}
