#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

#include <unistd.h>

#include "serialkit/platform/device_roots.h"
#include "serialkit/platform/port_map.h"
#include "serialkit/discovery/port_numbering.h"
#include "serialkit/platform/posix/sysfs.h"
#include "serialkit/platform/system_error.h"

namespace fs = std::filesystem;

namespace sk::platform {

namespace {

std::string PortName(std::uint32_t n) {
  return ComPortName(n);
}

}  // namespace

std::string PortMap::DefaultOverrideDir() {
  if (const char* dir = std::getenv("SK_PORTMAP_DIR"); dir != nullptr && *dir != '\0') return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0')
    return std::string(xdg) + "/serialkit/ports";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/serialkit/ports";
}

PortMap::PortMap(std::string OverrideDir, std::string SysRoot, std::string DevRoot)
    : overrideDir_(std::move(OverrideDir)),
      sysRoot_(SysRoot.empty() ? SysfsRoot() : std::move(SysRoot)),
      devRoot_(DevRoot.empty() ? platform::DevRoot() : std::move(DevRoot)) {}

std::vector<PortMapEntry> PortMap::OverrideEntries() const {
  std::vector<std::pair<std::uint32_t, PortMapEntry>> found;
  std::error_code ec;
  for (fs::directory_iterator it(overrideDir_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const auto number = ComPortNumber(name);
    std::error_code linkError;
    if (!number || !it->is_symlink(linkError)) continue;
    fs::path target = fs::read_symlink(it->path(), linkError);
    if (linkError) continue;
    if (target.is_relative()) target = fs::path(overrideDir_) / target;
    found.push_back({*number, {target.lexically_normal().string(), PortName(*number)}});
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<PortMapEntry> entries;
  for (auto& f : found)
    if (entries.empty() || entries.back().PortName != f.second.PortName)
      entries.push_back(std::move(f.second));
  return entries;
}

std::vector<PortMapEntry> PortMap::SystemEntries() const {
  std::vector<PortMapEntry> entries;
  for (const NumberedTty& t : NumberSerialTtys(sysfs::SerialTtyNames(sysRoot_)))
    entries.push_back({(fs::path(devRoot_) / t.Name).string(), PortName(t.PortNo)});
  return entries;
}

std::vector<PortMapEntry> PortMap::Entries() const {
  std::vector<PortMapEntry> entries = OverrideEntries();
  const std::size_t overrides = entries.size();
  for (PortMapEntry& e : SystemEntries()) {
    const bool taken = std::any_of(entries.begin(), entries.begin() + overrides,
                                   [&](const PortMapEntry& o) { return o.PortName == e.PortName; });
    if (!taken) entries.push_back(std::move(e));
  }
  return entries;
}

std::optional<std::string> PortMap::Resolve(const std::string& Name) const {
  if (!Name.empty() && Name.front() == '/') return Name;
  const auto number = ComPortNumber(Name);
  for (const PortMapEntry& e : Entries()) {
    const bool same = number ? ComPortNumber(e.PortName) == number
                             : std::equal(Name.begin(), Name.end(), e.PortName.begin(),
                                          e.PortName.end(), [](char a, char b) {
                                            return std::toupper(static_cast<unsigned char>(a)) ==
                                                   std::toupper(static_cast<unsigned char>(b));
                                          });
    if (same) return e.DevicePath;
  }
  return std::nullopt;
}

bool PortMap::AddOverride(std::uint32_t PortNo, const std::string& DevicePath) const {
  std::error_code ec;
  fs::create_directories(overrideDir_, ec);
  if (ec) {
    SetLastError(static_cast<std::uint32_t>(ec.value()));
    return false;
  }
  // Made under a temporary name and renamed over the entry, so a reader never sees it missing.
  const fs::path link = fs::path(overrideDir_) / ("com" + std::to_string(PortNo));
  const fs::path temp = fs::path(overrideDir_) /
                        (".com" + std::to_string(PortNo) + ".new" + std::to_string(::getpid()));
  fs::remove(temp, ec);
  fs::create_symlink(DevicePath, temp, ec);
  if (!ec) fs::rename(temp, link, ec);
  if (ec) {
    const int error = ec.value();
    fs::remove(temp, ec);
    SetLastError(static_cast<std::uint32_t>(error));
    return false;
  }
  return true;
}

bool PortMap::RemoveOverride(std::uint32_t PortNo) const {
  std::error_code ec;
  fs::remove(fs::path(overrideDir_) / ("com" + std::to_string(PortNo)), ec);
  if (ec) {
    SetLastError(static_cast<std::uint32_t>(ec.value()));
    return false;
  }
  return true;
}

}  // namespace sk::platform
