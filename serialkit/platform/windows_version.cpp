#include <string>

#include "serialkit/platform/system_info.h"

namespace sk::platform {

std::string WindowsVersionName(const WindowsVersionInfo& Info) {
  switch (Info.Major) {
    case 3:
      return "NT 3.51";
    case 4:
      if (Info.Minor == 10) return "98";
      if (Info.Minor == 90) return "Me";
      return Info.NtPlatform ? "NT 4" : "95";
    case 5:
      switch (Info.Minor) {
        case 0:
          return "2000";
        case 1:
          return "XP";
        case 2:
          return "2003";
        default:
          return "";
      }
    case 6:
      if (Info.Workstation) {
        static const char* const names[] = {"Vista", "7", "8", "8.1", "10"};
        return Info.Minor <= 4 ? names[Info.Minor] : "Future Workstation";
      } else {
        static const char* const names[] = {"Server 2008", "Server 2008 R2", "Server 2012",
                                            "Server 2012 R2"};
        return Info.Minor <= 3 ? names[Info.Minor] : "Future Server";
      }
    default:
      return "";
  }
}

std::string WindowsVersionString(const WindowsVersionInfo& Info) {
  return "Windows " + WindowsVersionName(Info) + " [" + std::to_string(Info.Major) + "." +
         std::to_string(Info.Minor) + "." + std::to_string(Info.Build) + "] " + Info.ServicePack;
}

}  // namespace sk::platform
