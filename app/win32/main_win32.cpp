// bootshell.exe: the operator's window for writing firmware images to a ZR48 in boot mode.
#include <windows.h>

#include "app/win32/form3_win32.h"
#include "app/win32/wide_text.h"
#include "serialkit/platform/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int ShowCommand) {
  sk::platform::TApplication& app = sk::platform::Application();
  bootshell::win32::TForm3* shown = nullptr;
  // Errors that end the loader loop are shown over the window; the window stays usable.
  app.SetErrorReport([&shown](const std::string& Message) {
    ::MessageBoxW(shown ? shown->Handle() : nullptr, bootshell::win32::Wide(Message).c_str(),
                  L"bootshell", MB_OK | MB_ICONERROR);
  });
  bootshell::win32::TForm3 form(ShowCommand);
  shown = &form;
  // The program's loop serves the same queue as the loader loop's waits, until the window
  // is closed.
  while (form.Handle()) app.ProcessMessages(sk::platform::kInfinite);
  shown = nullptr;
  app.SetErrorReport({});
  return 0;
}
