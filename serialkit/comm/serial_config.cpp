// The port's saved configuration (one registry value) and the port configuration dialog.
#include <exception>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/core/fatal_error_codes.h"
#include "serialkit/discovery/saved_port_config.h"
#include "serialkit/platform/config_dialog.h"
#include "serialkit/platform/registry.h"
#include "serialkit/platform/serial_device.h"

namespace sk {

void TskCustomComm::ConfigDialog() {
  ReadDeviceState();
  COMMCONFIG edited = CommCfg;
  if (!platform::CommConfigDialog(ComName(), edited)) return;
  CommCfg = edited;
  if (THandle h = Handle()) h->SetCommState(CommCfg.dcb);
  ReadDeviceState();
}

void TskCustomSerialComm::SaveConfig(platform::RegistryRoot Root, const std::string& Key,
                                     const std::string& Name) {
  bool saved = false;
  try {
    if (auto key = platform::CreateRegistryKey(Root, Key)) {
      const auto value = SavedPortConfig::From(fComPortNo, CommCfg.dcb).Encode();
      if (key->SetBinaryValue(Name, value.data(), value.size())) {
        key.reset();
        WriteLog(dlDetail, "Configuration was saved");
        saved = true;
      }
    }
  } catch (const std::exception&) {
    saved = false;
  }
  if (!saved)
    DoFatalError(kFatalDeviceError, 0, "Error on save config information from registry", false);
}

void TskCustomSerialComm::LoadConfig(platform::RegistryRoot Root, const std::string& Key,
                                     const std::string& Name) {
  bool loaded = false;
  try {
    if (auto key = platform::CreateRegistryKey(Root, Key)) {
      std::vector<std::uint8_t> value;
      const auto query = key->QueryValue(Name, SavedPortConfig::kSize, value);
      if (query != platform::RegistryKey::Query::Failed) {
        // Absent, longer or shorter: the settings stay as they are.
        if (auto config = SavedPortConfig::Decode(value);
            config && query == platform::RegistryKey::Query::Found) {
          SetComPortNo(config->PortNo);
          CommCfg.dcb = config->Dcb;
          WriteDeviceState();
        }
        key.reset();
        WriteLog(dlDetail, "Configuration was loaded");
        loaded = true;
      }
    }
  } catch (const std::exception&) {
    // A reopen on the loaded port number that fails is a failure of the load as well.
    loaded = false;
  }
  if (!loaded)
    DoFatalError(kFatalDeviceError, 0, "Error on load config information from registry", false);
}

}  // namespace sk
