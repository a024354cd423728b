#pragma once
// "...": the file-open dialog OD2 as the window sets it up, and the steps around it. The view
// runs its system's dialog with these settings; what "Send" becomes is decided here.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace bootshell::window {

struct FileDialogSettings {
  std::string_view Title = "Select firmware ...";
  std::string_view InitialName = "*.brox";
  std::string_view FilterName = "firmware compressed";
  std::string_view FilterPattern = "*.brox";
  std::string_view DefaultExtension = "brox";
  // Of the dialog's options only a resizable dialog: the chosen file need not exist.
};
inline constexpr FileDialogSettings kOD2{};

struct FileChoice {
  std::string Edit1;  // the file line after the dialog
  bool SendEnabled;   // whether "Send" is enabled now
};

// Runs the dialog with the default extension given again; the chosen full path, or nothing
// when the operator cancelled.
using FileDialogRunner = std::function<std::optional<std::string>(const FileDialogSettings&)>;

// The file choice: a chosen path replaces Edit1's text; either way "Send" follows whether a
// file (not a folder) exists at the path now in the line. Paths are UTF-8.
FileChoice ChooseFile(const std::string& Edit1, const FileDialogRunner& RunDialog);
bool NamesExistingFile(const std::string& Path);

}  // namespace bootshell::window
