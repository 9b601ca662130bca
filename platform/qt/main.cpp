// tavro: the game in a desktop window.
#include "platform/qt/host.h"

int main(int argc, char** argv) {
  return tavro_qt::RunDesktopProgram(argc, argv);
}
