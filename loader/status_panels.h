#pragma once
// The loader's events as the main window shows them: the status bar's panels (from 0) and the
// progress bar. A window implements the three operations; the mapping is the same for all.
#include <cstdint>
#include <string>

#include "loader/loader_events.h"

namespace bootshell::loader {

class StatusPanels : public LoaderEvents {
 public:
  void OpenFailed(int Attempts) override;
  void HandshakeAnswered(std::uint32_t Ms) override;
  void ImageLoaded(const std::string& Name, std::int64_t Size, std::int64_t Cycles) override;
  void BlockSent(std::int64_t Position, std::int64_t Cycle) override;
  void BlockAcknowledged(std::int64_t Position, std::int64_t Cycle) override;
  void ImageWritten(const std::string& Name) override;
  void StateChanged(std::int32_t State) override;
  void Totals(std::uint32_t Received, std::uint32_t Sent) override;

 protected:
  virtual void SetStatusPanel(int Index, const std::string& Text) = 0;
  virtual void SetProgressRange(int Min, int Max) = 0;
  virtual void SetProgressPosition(int Value) = 0;

 private:
  int progressMax_ = 0;  // GUI thread
};

}  // namespace bootshell::loader
