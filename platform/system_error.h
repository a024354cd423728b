#pragma once
// The calling thread's last system error and its text, as the system reports them (errno and
// strerror here). Failed device operations leave their reason here, like the Win32 calls.
#include <cstdint>
#include <string>

namespace sk::platform {

std::uint32_t LastError();
void SetLastError(std::uint32_t Code);
// The system's message text for Code, e.g. "No such file or directory".
std::string SystemErrorText(std::uint32_t Code);

}  // namespace sk::platform
