// The registry on Linux: there is none, so no value is ever found.
#include "platform/registry.h"

namespace platform {

namespace {

class NoRegistry final : public RegistryReader {
 public:
  bool QueryValue(uint32_t, const char*, const char*, uint8_t*, uint32_t, uint32_t*,
                  uint32_t*) override {
    return false;
  }
};

}  // namespace

RegistryReader& SystemRegistry() {
  static NoRegistry registry;
  return registry;
}

}  // namespace platform
