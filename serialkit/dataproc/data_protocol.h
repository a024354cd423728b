#pragma once
// The packet-detecting processor: every received byte goes through its packet definitions,
// each completed packet is reported through OnDataPacket, and a silence of Timeout
// milliseconds ends a packet that ends by timeout or raises OnTimeout.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "serialkit/dataproc/custom_data_processor.h"
#include "serialkit/dataproc/data_packet.h"

namespace sk {

using TskDataPacketEvent = TEvent<void(TObject* Sender, TskDataPacket* Packet)>;

// Threads: DoProcessing runs in the thread that delivers received data, the resets on the
// device's open and close notifications in the thread that opens or closes it, the timeout in
// the thread that created the processor. They meet only under the definitions' lock (below).
// The definitions themselves are configured before data flows.
class TskDataProtocol : public TskCustomDataProcessor {
 public:
  explicit TskDataProtocol(TComponent* AOwner = nullptr,
                           platform::TApplication& App = platform::Application());
  ~TskDataProtocol() override;
  std::string ClassName() const override { return "TskDataProtocol"; }

  // --- Properties ---------------------------------------------------------------------------
  TskDataPackets& DataPackets() { return *fPackets; }
  const TskDataPackets& DataPackets() const { return *fPackets; }
  // Assigns Value's definitions to this processor's.
  void SetDataPackets(const TskDataPackets& Value);
  // A completed packet: in the thread that delivers the port's data (its message worker, or
  // with the port's UseMainThread the main thread), or in the thread that created this
  // processor for a packet that Timeout ends.
  TskDataPacketEvent OnDataPacket() const { return fOnDataPacket.Get(); }
  void SetOnDataPacket(TskDataPacketEvent Value) { fOnDataPacket.Set(std::move(Value)); }
  // Timeout's silence with no packet to end: in the thread that created this processor, while it
  // serves its messages.
  TNotifyEvent OnTimeout() const { return fOnTimeout.Get(); }
  void SetOnTimeout(TNotifyEvent Value) { fOnTimeout.Set(std::move(Value)); }
  // Silence in milliseconds after which the timeout applies; 0 (or less) = none.
  std::int32_t Timeout() const { return fTimeout.load(); }
  void SetTimeout(std::int32_t Value) { fTimeout.store(Value); }

  void DoProcessing(const Byte* Data, std::uint32_t Len, TIgnoreTypes& R) override;
  // Resets every definition: at once, or, while another thread is processing a chunk, as
  // soon as it has finished that chunk (and in any case before the next one).
  virtual void Reset();
  // Whether a partial packet or marker was pending after the last byte processed; while
  // another thread is processing a chunk, as it was after its previous chunk.
  virtual bool IsPacketPossible();

 protected:
  void DoMediumClosed() override;
  void DoMediumOpened() override;
  void DoAsyncTimeout(TObject* Sender) override;
  virtual void DoDataPacket(std::int32_t Index);
  virtual void DoTimeout();
  // One decoded byte through the definitions; the index of the definition it completed, or -1.
  virtual std::int32_t ProcessByte(Byte ch);
  // Puts the bytes that ch decodes to into Decoded and gives their number (0 to 2); the base
  // passes ch through.
  virtual std::int32_t DecodeByte(Byte ch, std::array<Byte, 2>& Decoded);

  // Set by a descendant to keep the chunks from the device's terminal output; cleared when
  // the device opens or closes.
  std::atomic<bool> flSkipFurtherProcessing{false};

 private:
  class TDefinitionsLock;
  // Applies a reset asked for meanwhile; with definitionsMutex_ held.
  void ApplyPendingReset();
  // Applies a pending reset if the definitions are free (or held by this thread).
  void TryApplyPendingReset();
  std::uint32_t TimeoutInterval() const;

  std::unique_ptr<TskDataPackets> fPackets;
  TSharedEvent<TskDataPacketEvent> fOnDataPacket;
  std::atomic<std::int32_t> fTimeout{0};
  TSharedEvent<TNotifyEvent> fOnTimeout;
  std::array<Byte, 2> decodedBuffer{};

  // The definitions' lock. The receive thread holds it for a chunk (not while handing it on),
  // the timer's thread while it ends a packet by silence. Opening, closing and Reset never wait
  // for it: a reset asked for while it is held stays in resetPending_ and is applied by the
  // holder as it lets go, or by the next one to take it, before any further byte. So the
  // thread that opens or closes the port never waits for a handler in the receive thread that
  // may itself be waiting for that thread. Recursive, because a handler may close the port,
  // feed bytes or reset in its own thread, which then acts at once.
  std::recursive_mutex definitionsMutex_;
  int definitionsDepth_ = 0;  // under definitionsMutex_
  std::atomic<bool> resetPending_{false};
  // IsPacketPossible after the last whole chunk, for readers that find the definitions busy.
  std::atomic<bool> possibleAfterChunk_{false};
};

}  // namespace sk
