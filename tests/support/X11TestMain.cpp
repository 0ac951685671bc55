// Main of the tests that need a real X server: listing the tests needs no display; running
// them re-starts the program under its own Xvfb (scripts/with-xvfb.sh), then on the xcb platform.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  std::vector<std::string> original(argv, argv + argc);
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  if (!std::getenv("VEMRA_UNDER_XVFB")) {
    setenv("VEMRA_UNDER_XVFB", "1", 1);
    std::vector<std::string> command{VEMRA_WITH_XVFB};
    if (VEMRA_X11_TRAY) command.emplace_back("--tray");
    command.emplace_back("--");
    command.insert(command.end(), original.begin(), original.end());
    std::vector<char*> args;
    for (auto& a : command) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    std::perror("with-xvfb.sh");
    return 2;
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
