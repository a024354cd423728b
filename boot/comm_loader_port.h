#pragma once
// The loader's port operations on a TskComm, remembering why the last open failed (the loader
// only counts failures; a front end can report the reason when it gives up).
#include <atomic>
#include <string>

#include "serialkit/comm/custom_comm.h"
#include "loader/loader_port.h"

namespace bootshell::boot {

class CommLoaderPort : public loader::LoaderPort {
 public:
  explicit CommLoaderPort(sk::TskCustomComm& Comm) : comm_(Comm) {}

  void SetActive(bool Value) override;
  void SetBaudRate(std::uint32_t Value) override { comm_.SetBaudRate(Value); }
  void SendData(std::span<const sk::Byte> Data) override;
  void ClearDeviceInput() override { comm_.ClearDeviceInput(); }
  std::uint32_t TotalReceived() const override { return comm_.TotalReceived(); }
  std::uint32_t TotalSent() const override { return comm_.TotalSent(); }

  // The message of the last failed open ("Device ... Open Error !!!" and the system's reason
  // on one line), and how many opens have failed.
  const std::string& LastOpenError() const { return lastOpenError_; }
  int FailedOpens() const { return failedOpens_; }

 private:
  sk::TskCustomComm& comm_;
  std::string lastOpenError_;
  int failedOpens_ = 0;
};

}  // namespace bootshell::boot
