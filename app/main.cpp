#include <cstdio>

int main() {
  std::printf("nubren %s\n", NB_VERSION);
  return 0;
}
