#include "cipher/rc6.h"

#include <algorithm>
#include <exception>
#include <mutex>

namespace bootshell::cipher {

namespace {

struct TRC6Module {
  std::mutex Lock;
  TKeyWords KeyWords{};
  TRoundKeys RoundKeys{};
  sk::ByteString Key;
};

TRC6Module& Module() {
  static TRC6Module module;
  return module;
}

// The steps below expect the module lock to be held.
void SetKeyLocked(TRC6Module& m, std::span<const sk::Byte> Key) {
  m.KeyWords.fill(0);
  m.Key.assign(Key.begin(), Key.end());
  PrepareKeyWords(m.Key, m.KeyWords);
}

using BlockTransform = void (*)(const TRoundKeys&, sk::Byte*, std::size_t);

bool TransformStream(ByteStream& Stream, std::span<const sk::Byte> Key, std::int64_t Count,
                     BlockTransform Transform) {
  try {
    if (Key.empty()) {
      Stream.Seek(Count, SeekOrigin::soCurrent);
      return true;
    }
    TRC6Module& m = Module();
    std::lock_guard lock(m.Lock);
    SetKeyLocked(m, Key);
    m.RoundKeys = ScheduleRoundKeys(m.KeyWords);

    std::int64_t done = 0;
    // In memory the blocks that the stream can serve whole are transformed where they lie;
    // whatever is left goes the block-by-block way and meets its error there.
    if (Count >= std::int64_t(kRC6BlockSize)) {
      std::span<sk::Byte> direct = Stream.DirectBytes();
      std::size_t blocks =
          std::min<std::uint64_t>(direct.size(), std::uint64_t(Count)) / kRC6BlockSize;
      if (blocks > 0) {
        Transform(m.RoundKeys, direct.data(), blocks);
        done = std::int64_t(blocks * kRC6BlockSize);
        Stream.Seek(done, SeekOrigin::soCurrent);
      }
    }
    sk::Byte block[kRC6BlockSize];
    while (Count - done >= std::int64_t(kRC6BlockSize)) {
      Stream.ReadBuffer(block);
      Transform(m.RoundKeys, block, 1);
      Stream.Seek(-std::int64_t(kRC6BlockSize), SeekOrigin::soCurrent);
      Stream.WriteBuffer(block);
      done += kRC6BlockSize;
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void RC6SetKey(std::span<const sk::Byte> Key) {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  SetKeyLocked(m, Key);
}

void RC6PrepareKey() {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  PrepareKeyWords(m.Key, m.KeyWords);
}

void RC6KeySchedule() {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  m.RoundKeys = ScheduleRoundKeys(m.KeyWords);
}

void RC6DecryptBlock(std::span<sk::Byte, kRC6BlockSize> Block) {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  DecryptBlocks(m.RoundKeys, Block.data(), 1);
}

void RC6EncryptBlock(std::span<sk::Byte, kRC6BlockSize> Block) {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  EncryptBlocks(m.RoundKeys, Block.data(), 1);
}

bool RC6DecryptStream(ByteStream& Stream, std::span<const sk::Byte> Key, std::int64_t Count) {
  return TransformStream(Stream, Key, Count, DecryptBlocks);
}

bool RC6EncryptStream(ByteStream& Stream, std::span<const sk::Byte> Key, std::int64_t Count) {
  return TransformStream(Stream, Key, Count, EncryptBlocks);
}

TKeyWords KeyWords() {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  return m.KeyWords;
}

TRoundKeys RoundKeys() {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  return m.RoundKeys;
}

sk::ByteString RC6Key() {
  TRC6Module& m = Module();
  std::lock_guard lock(m.Lock);
  return m.Key;
}

}  // namespace bootshell::cipher
