#include <cstdio>

int main() {
  std::puts("Larkspan v. 1.37b - Internet radio stream recorder");
  return 0;
}
