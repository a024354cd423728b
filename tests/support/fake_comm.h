#pragma once
// A port whose every open makes a new scriptable fake device (prepared by Prepare), or fails
// with openError: for the tests that need to see or steer what the port does to its device.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/system_error.h"
#include "serialkit/testing/fake_serial_device.h"

namespace testsupport {

class FakeComm : public sk::TskComm {
 public:
  using TskComm::TskComm;
  ~FakeComm() override { Shutdown(); }

  std::function<void(sk::platform::FakeSerialDevice&)> Prepare;
  std::uint32_t openError = 0;
  std::vector<std::string> openedNames;
  // Every device opened, the last one at the back.
  std::vector<std::shared_ptr<sk::platform::FakeSerialDevice>> devices;

  // The device of the last open; none before the first.
  std::shared_ptr<sk::platform::FakeSerialDevice> Last() const {
    return devices.empty() ? nullptr : devices.back();
  }

  // The protected steps, for the tests that drive them.
  using TskComm::CommCfg;
  using TskComm::DoReceived;
  using TskComm::InternalClose;

 protected:
  sk::THandle OpenDevicePath(const std::string& Name) override {
    openedNames.push_back(Name);
    if (openError != 0) {
      sk::platform::SetLastError(openError);
      return nullptr;
    }
    auto fake = std::make_shared<sk::platform::FakeSerialDevice>();
    if (Prepare) Prepare(*fake);
    devices.push_back(fake);
    return fake;
  }
};

}  // namespace testsupport
