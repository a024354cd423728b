#include "cli_options.h"

#include <CLI/CLI.hpp>

#include <map>

#include "exit_status.h"
#include "loader/link_kind.h"

namespace bootshell::cli {

namespace {

std::string ExitStatusHelp() {
  std::string text = "\nExit status:\n";
  for (const auto& s : kExitStatusTexts) {
    std::string code = std::to_string(Code(s.status));
    text += "  " + code + std::string(5 - code.size(), ' ') + std::string(s.meaning) + "\n";
  }
  return text;
}

constexpr const char* kDescription =
    R"(Writes a firmware image (.brox) to a ZR48 held in boot mode over a serial port.

It opens the port (retrying every 100 ms), greets the boot loader until it answers, then
decrypts the image and writes it in address/data cycles: of every 2048-byte chunk of the
image the first 1024 bytes go to flash from 0x08002000; the image's last chunk is not sent
unless the image is exactly 2048 bytes. The device's answers are printed as "<text>".
Progress is a bar with rate and time left on a terminal, plain lines otherwise.)";

}  // namespace

void DeclareOptions(CLI::App& App, CliOptions& Options) {
  App.description(kDescription);
  App.footer(ExitStatusHelp());
  // Required unless the ports are only listed.
  auto* image =
      App.add_option("IMAGE", Options.imagePath, "Encrypted firmware image (.brox) to write")
          ->option_text("FILE");
  auto* port = App.add_option_function<std::vector<std::string>>(
                      "-p,--port",
                      [&Options](const std::vector<std::string>& Texts) {
                        Options.ports.clear();
                        for (const std::string& text : Texts) {
                          std::string error;
                          auto target = boot::ParsePortTarget(text, error);
                          if (!target) throw CLI::ValidationError("--port", error);
                          Options.ports.push_back(*target);
                        }
                        if (!Options.ports.empty()) Options.port = Options.ports.front();
                      },
                      "Serial port: COMn or n (through the port map: the override directory "
                      "$SK_PORTMAP_DIR, else the machine's serial devices), or a device path; "
                      "repeated, the image goes to every port given at once")
                   ->option_text("COMn|n|PATH");
  const std::map<std::string, int> links{
      {"uart", protocol::lkUart}, {"bluetooth", protocol::lkBluetooth}, {"wifi", protocol::lkWifi}};
  App.add_option("-l,--link", Options.linkKind,
                 "Kind of link, which sets the baud rate: uart (230400, the default), "
                 "bluetooth (921600), wifi (230400)")
      ->transform(CLI::CheckedTransformer(links, CLI::ignore_case))
      ->option_text("uart|bluetooth|wifi");
  App.add_option("--connect-timeout", Options.connectTimeoutS,
                 "Seconds for the port to open and the device to answer the handshake "
                 "(default 10)")
      ->check(CLI::Range(0.1, 86400.0))
      ->option_text("SECONDS");
  App.add_option("--answer-timeout", Options.answerTimeoutS,
                 "Seconds to wait for the acknowledgement of each address and data frame "
                 "(default 5)")
      ->check(CLI::Range(0.1, 86400.0))
      ->option_text("SECONDS");
  App.add_option("--log", Options.logFile,
                 "Trace the port and the packet detection at debug level into FILE (appended)")
      ->option_text("FILE");
  App.add_flag("-q,--quiet", Options.quiet,
               "Print only errors: no answers, no progress, no status lines");

  auto* list = App.add_flag("--list-ports", Options.listPorts,
                            "Print the machine's serial ports, one a line: the name shown, a tab, "
                            "the port name, a tab, the device (with --enum full or present: a "
                            "tab and the serial number); then exit");
  App.add_option_function<std::string>(
         "--enum",
         [&Options](const std::string& Text) {
           const std::map<std::string, sk::TskEnumPorts> modes{
               {"quick", sk::epQuickAll}, {"full", sk::epFullInfo}, {"present", sk::epFullPresent}};
           const auto mode = modes.find(Text);
           if (mode == modes.end())
             throw CLI::ValidationError("--enum", "'" + Text + "' is not quick, full or present");
           Options.enumMode = mode->second;
         },
         "With --list-ports: quick (the port map only, the default), full (with the devices' "
         "descriptions), present (only the ports a device claims)")
      ->needs(list)
      ->option_text("quick|full|present");
  auto* json = App.add_flag("--json", Options.json,
                            "With --list-ports: a JSON array of the device records, with each "
                            "port's USB identity (with --records: of the rows)");
#ifdef BOOTSHELL_RECORDS
  App.add_option("--record", Options.recordFile,
                 "Add a row for this run to the record store FILE (an SQLite database, "
                 "created if missing); a store that cannot be written fails before the port "
                 "is opened")
      ->option_text("FILE.db");
  App.add_option("--records", Options.recordsFile,
                 "Print the rows of the record store FILE, one a line (tab-separated, in the "
                 "table's column order); then exit")
      ->option_text("FILE.db")
      ->excludes(list);
#endif
#ifdef BOOTSHELL_RECORDS
  auto* station =
      App.add_flag("--station", Options.station,
                   "Factory station: write every device that arrives (a port entered in the "
                   "port map or appearing on the machine) once, until SIGINT; a device plugged "
                   "in again is written again")
          ->excludes(port)
          ->excludes(list);
  App.add_option("--match", Options.match,
                 "With --station: only devices with this USB identity (repeatable)")
      ->check([](const std::string& Text) {
        const bool ok = Text.size() == 9 && Text[4] == ':' &&
                        Text.find_first_not_of("0123456789abcdefABCDEF:") == std::string::npos;
        return ok ? std::string() : "'" + Text + "' is not VID:PID (four hex digits each)";
      })
      ->needs(station)
      ->option_text("VID:PID");
#endif
  App.callback([&Options, image, port, json] {
    if (json->count() > 0 && !Options.listPorts && Options.recordsFile.empty())
      throw CLI::ValidationError("--json", "needs --list-ports or --records");
    if (Options.listPorts || !Options.recordsFile.empty()) return;
    if (image->count() == 0) throw CLI::RequiredError("IMAGE");
    if (port->count() == 0 && !Options.station) throw CLI::RequiredError("--port");
  });
}

}  // namespace bootshell::cli
