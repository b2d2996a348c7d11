#include "platform/random_source.h"

#include <cstdlib>

namespace larkspan::platform {

int SystemRandom::next() {
  return std::rand();
}

}  // namespace larkspan::platform
