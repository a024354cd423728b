#include "loader_rig.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "cipher/memory_stream.h"
#include "cipher/rc6.h"
#include "loader/boot_protocol.h"
#include "loader/firmware_key.h"
#include "serialkit/core/component.h"

namespace rig {

namespace fs = std::filesystem;

void FakeWindow::SetStatusPanel(int Index, const std::string& Text) {
  panels[Index].push_back(Text);
}

std::vector<std::string> FakeWindow::PanelChanges(int Index) const {
  std::vector<std::string> out;
  auto it = panels.find(Index);
  if (it == panels.end()) return out;
  for (const auto& text : it->second)
    if (out.empty() || out.back() != text) out.push_back(text);
  return out;
}

std::string FakeWindow::Panel(int Index) const {
  auto it = panels.find(Index);
  return it == panels.end() || it->second.empty() ? std::string() : it->second.back();
}

void FakeWindow::At(std::uint32_t AtTick, std::function<void()> Fn) {
  agenda_.push_back(Event{AtTick, order_++, std::move(Fn)});
}

bool FakeWindow::RunDue() {
  bool ran = false;
  for (;;) {
    auto due = std::min_element(agenda_.begin(), agenda_.end(), [](const Event& a, const Event& b) {
      return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    if (due == agenda_.end() || due->at > ticks_.now) break;
    auto fn = std::move(due->fn);
    agenda_.erase(due);
    fn();
    ran = true;
  }
  for (std::size_t i = 0; i < watchers_.size();) {
    if (watchers_[i].first()) {
      auto fn = std::move(watchers_[i].second);
      watchers_.erase(watchers_.begin() + std::ptrdiff_t(i));
      fn();
      ran = true;
    } else {
      ++i;
    }
  }
  return ran;
}

void FakeWindow::Guard() {
  if (!ranAway && (ticks_.now - start_ > simulatedLimitMs || plainTurns > 1'000'000)) {
    ranAway = true;
    if (emergencyStop) emergencyStop();
  }
}

void FakeWindow::ProcessMessages() {
  ++plainTurns;
  woken = false;
  RunDue();
  Guard();
}

void FakeWindow::ProcessMessagesWaiting(std::uint32_t TimeoutMs) {
  waitTimeouts.push_back(TimeoutMs);
  // Like the application object: a wake-up raised while serving stays for the next wait.
  if (woken.exchange(false) | RunDue()) {
    Guard();
    return;
  }
  std::uint32_t deadline = ticks_.now + TimeoutMs;
  auto next = std::min_element(agenda_.begin(), agenda_.end(),
                               [](const Event& a, const Event& b) { return a.at < b.at; });
  ticks_.now = next != agenda_.end() && next->at < deadline ? next->at : deadline;
  woken = false;
  RunDue();
  Guard();
}

std::uint32_t Frame::Address() const {
  return payload[0] | payload[1] << 8 | payload[2] << 16 | std::uint32_t(payload[3]) << 24;
}

void FakePort::SetActive(bool Value) {
  if (!Value) {
    if (active) trace.push_back("close");
    active = false;
    return;
  }
  openAttempts.push_back(ticks_.now);
  if (failingOpens > 0) {
    --failingOpens;
    trace.push_back("open failed");
    throw sk::Exception("Device \"COM3\" Open Error !!!\rNo such file or directory");
  }
  trace.push_back("open");
  active = true;
  totalReceived = totalSent = 0;
  pending_.clear();
}

void FakePort::SendData(std::span<const sk::Byte> Data) {
  ++sendCalls_;
  for (sk::Byte b : Data) Take(b);
}

void FakePort::ClearDeviceInput() {
  ++purges;
  trace.push_back("purge");
  purgedSinceFrame_ = true;
}

void FakePort::Take(sk::Byte b) {
  ++totalSent;
  if (pending_.empty()) frameFirstCall_ = sendCalls_;
  pending_.push_back(b);
  if (pending_.size() < bootshell::protocol::kFrameHeaderSize) return;
  const std::size_t length = pending_[1] | pending_[2] << 8;
  if (pending_.size() < bootshell::protocol::kFrameHeaderSize + length) return;
  Frame f;
  f.command = pending_[0];
  f.length = std::uint16_t(length);
  f.sum = pending_[3];
  f.payload.assign(pending_.begin() + 4, pending_.end());
  f.at = ticks_.now;
  f.purgedBefore = purgedSinceFrame_;
  f.inOneCall = frameFirstCall_ == sendCalls_;
  pending_.clear();
  purgedSinceFrame_ = false;
  frames.push_back(f);
  if (onFrame) onFrame(frames.back());
}

std::optional<std::int32_t> Cooperative(const Frame& f) {
  switch (f.command) {
    case bootshell::protocol::cmdHandshake:
      return 0;
    case bootshell::protocol::cmdAddress:
      return 3;
    case bootshell::protocol::cmdData:
      return 2;
  }
  return std::nullopt;
}

std::optional<std::int32_t> Silent(const Frame&) {
  return std::nullopt;
}

LoaderRig::LoaderRig() {
  window.emergencyStop = [this] { loader.Stop(); };
  port.onFrame = [this](const Frame& f) {
    if (auto tag = rule(f)) {
      std::int32_t t = *tag;
      window.After(answerDelayMs, [this, t] {
        port.totalReceived += 20;
        loader.AnswerArrived(t);
      });
    }
  };
}

std::vector<Frame> LoaderRig::FramesOf(sk::Byte Command) const {
  std::vector<Frame> out;
  for (const Frame& f : port.frames)
    if (f.command == Command) out.push_back(f);
  return out;
}

std::string LoaderRig::WriteFile(const std::string& Name, const sk::ByteString& Data) {
  std::string path = (fs::path(dir) / Name).string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
  return path;
}

std::string LoaderRig::WriteImage(const std::string& Name, const sk::ByteString& Plain) {
  bootshell::cipher::MemoryStream image(Plain);
  bootshell::cipher::RC6EncryptStream(image, sk::ToBytes(bootshell::FirmwareKey), image.Size());
  return WriteFile(Name, image.Data());
}

sk::ByteString RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  sk::ByteString out(n);
  for (auto& b : out) b = sk::Byte(gen());
  return out;
}

}  // namespace rig
