// Reading registry values on Windows with the A functions.
#include "platform/registry.h"

#include <windows.h>

namespace platform {

namespace {

class Win32Registry final : public RegistryReader {
 public:
  bool QueryValue(uint32_t root, const char* key, const char* valueName, uint8_t* data,
                  uint32_t capacity, uint32_t* type, uint32_t* size) override {
    HKEY opened = nullptr;
    // The predefined keys are the sign-extended values on 64-bit Windows.
    const HKEY rootKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
    if (RegOpenKeyExA(rootKey, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    DWORD valueType = REG_NONE;
    DWORD valueSize = capacity;
    const LONG status = RegQueryValueExA(opened, valueName, nullptr, &valueType, data, &valueSize);
    RegCloseKey(opened);
    // ERROR_MORE_DATA: larger than the area.
    if (status != ERROR_SUCCESS) return false;
    *type = valueType;
    *size = valueSize;
    return true;
  }
};

}  // namespace

RegistryReader& SystemRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace platform
