// The wire protocol's frames, the answer log text, the link kinds and the chunk rule.
#include <gtest/gtest.h>

#include "loader/answer_text.h"
#include "loader/boot_protocol.h"
#include "loader/chunk_rule.h"
#include "loader/frames.h"
#include "loader/link_kind.h"

namespace {

using namespace bootshell::protocol;

sk::ByteString Bytes(std::initializer_list<int> v) {
  return sk::ByteString(v.begin(), v.end());
}
template <std::size_t N>
sk::ByteString Bytes(const std::array<sk::Byte, N>& a) {
  return sk::ByteString(a.begin(), a.end());
}

TEST(Frames, HandshakeIsTheFixedEightBytes) {
  EXPECT_EQ(Bytes(HandshakeFrame()), Bytes({0xA1, 0x04, 0x00, 0xEE, 0x55, 0x44, 0x22, 0x33}));
}

TEST(Frames, AddressGoesLittleEndianAfterItsSum) {
  EXPECT_EQ(Bytes(AddressFrame(0x08002000)),
            Bytes({0xA7, 0x04, 0x00, 0x28, 0x00, 0x20, 0x00, 0x08}));
  // The sum keeps only the low 8 bits of 0x100.
  EXPECT_EQ(Bytes(AddressFrame(0x0800F800)),
            Bytes({0xA7, 0x04, 0x00, 0x00, 0x00, 0xF8, 0x00, 0x08}));
  EXPECT_EQ(Bytes(AddressFrame(0x08010000)),
            Bytes({0xA7, 0x04, 0x00, 0x09, 0x00, 0x00, 0x01, 0x08}));
}

TEST(Frames, DataFrameSumsDropTheCarries) {
  std::array<sk::Byte, kDataPayloadSize> block;
  block.fill(0xFF);
  EXPECT_EQ(Sum8(block), 0x00);
  block.fill(0x01);
  EXPECT_EQ(Sum8(block), 0x00);
  block.fill(0x00);
  block[517] = 0x01;
  EXPECT_EQ(Sum8(block), 0x01);
  block[3] = 0x80;
  block[1000] = 0x81;
  sk::ByteString frame = DataFrame(block);
  ASSERT_EQ(frame.size(), 1028u);
  EXPECT_EQ(sk::ByteString(frame.begin(), frame.begin() + 4), Bytes({0xA8, 0x00, 0x04, 0x02}));
  EXPECT_TRUE(std::equal(block.begin(), block.end(), frame.begin() + 4));
}

sk::ByteString B(std::string_view s) {
  return sk::ToBytes(s);
}

TEST(AnswerText, MarkersBecomeAngleBrackets) {
  EXPECT_EQ(AnswerLogLine(B("answerB3flash ok answerE3"), B("answerB3"), B("answerE3")),
            "<flash ok >");
  EXPECT_EQ(AnswerLogLine(B("answerBInfoboot v1.2answerEInfo"), B("answerBInfo"), B("answerEInfo")),
            "<boot v1.2>");
}

TEST(AnswerText, MarkersInOtherCaseInsideThePayloadAreReplacedToo) {
  EXPECT_EQ(AnswerLogLine(B("answerB1 ANSWERb1 x AnswerE1 answerE1"), B("answerB1"), B("answerE1")),
            "< < x > >");
}

TEST(AnswerText, BytesAboveAsciiAreLatin1) {
  sk::ByteString packet = B("answerB5");
  packet.push_back(0xE9);  // e acute
  packet.push_back(0xFF);
  sk::ByteString end = B("answerE5");
  packet.insert(packet.end(), end.begin(), end.end());
  EXPECT_EQ(AnswerLogLine(packet, B("answerB5"), end), "<\xC3\xA9\xC3\xBF>");
  // Case folding covers the accented letters of Latin-1 as well.
  EXPECT_EQ(AnswerLogLine(Bytes({0x61, 0xC9, 0x62}), Bytes({0x61, 0xE9}), B("z")), "<b");
}

TEST(LinkKind, BluetoothIsFastTheOthersAreNot) {
  EXPECT_EQ(BaudRateForLinkKind(lkUart), 230400u);
  EXPECT_EQ(BaudRateForLinkKind(lkBluetooth), 921600u);
  EXPECT_EQ(BaudRateForLinkKind(lkWifi), 230400u);
  EXPECT_EQ(BaudRateForLinkKind(-1), std::nullopt);
  EXPECT_EQ(BaudRateForLinkKind(3), std::nullopt);
}

TEST(ChunkRule, LastChunkIsSentOnlyWhenItIsTheOnlyOne) {
  EXPECT_EQ(CycleCount(2048), 1);
  EXPECT_EQ(CycleCount(2049), 1);
  EXPECT_EQ(CycleCount(4096), 1);
  EXPECT_EQ(CycleCount(4097), 2);
  EXPECT_EQ(CycleCount(10240), 4);
  EXPECT_EQ(CycleCount(10241), 5);
  EXPECT_TRUE(ChunkIsSent(0, 2048));
  EXPECT_FALSE(ChunkIsSent(2048, 4096));
  EXPECT_TRUE(ChunkIsSent(2048, 4097));
}

}  // namespace
