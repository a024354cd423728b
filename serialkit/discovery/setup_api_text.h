#pragma once
// Text rules of the setup-library binding that need no system to check: joining a
// double-NUL-terminated list, the wide name of an entry point, and the root of a registry
// key's full name.
#include <cstddef>
#include <cstdint>
#include <string>

namespace sk::platform {

// Joins the texts of a list of UTF-16 texts that ends in two NULs, Length units long, with
// Separator between them; UTF-8 result.
std::string MultiStringJoin(const char16_t* Buffer, std::size_t Length,
                            const std::string& Separator);

// The name with its last character replaced by "W" ("SetupDiGetClassDevsA" ->
// "SetupDiGetClassDevsW").
std::string WideApiName(std::string Name);

enum class TRegRoot : std::uint32_t {
  rrNone = 0,
  rrCurrentUser = 0x80000001u,
  rrLocalMachine = 0x80000002u
};

// The path below its root of a key whose full name is FullName: "\REGISTRY\MACHINE\SYSTEM"
// gives "SYSTEM" under the local machine, "\REGISTRY\USER\<sid>\Software" gives "Software"
// under the current user, and any other name comes back whole, with no root.
std::string RegKeyPathBelowRoot(const std::u16string& FullName, TRegRoot& Root);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& Text);

}  // namespace sk::platform
