#include <string>
#include <vector>

#include "ui/cli/batch_run.h"

int main(int argc, char* argv[]) {
  return rankora::cli::BatchMain(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
