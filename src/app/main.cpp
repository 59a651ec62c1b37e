// kestrova-tv: the player.
#include "app/program.h"

int main(int argc, char** argv) {
  return ktv::RunPlayer(argc, argv);
}
