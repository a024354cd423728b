#include "app/shared/file_choice.h"

#include <filesystem>
#include <system_error>

namespace bootshell::window {

bool NamesExistingFile(const std::string& Path) {
  // UTF-8 in, whatever the system's narrow code page.
  const std::filesystem::path path(std::u8string(Path.begin(), Path.end()));
  std::error_code error;
  return std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error);
}

FileChoice ChooseFile(const std::string& Edit1, const FileDialogRunner& RunDialog) {
  FileChoice choice{Edit1, false};
  if (std::optional<std::string> chosen = RunDialog(kOD2)) choice.Edit1 = std::move(*chosen);
  choice.SendEnabled = NamesExistingFile(choice.Edit1);
  return choice;
}

}  // namespace bootshell::window
