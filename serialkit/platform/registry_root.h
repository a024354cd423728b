#pragma once
// The two roots of the registry that saved port configurations live below (platform/registry.h
// has the store itself).
#include <cstdint>

namespace sk::platform {

enum class RegistryRoot : std::uint8_t { CurrentUser, LocalMachine };

}  // namespace sk::platform
