#include "serialkit/dataproc/data_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "packet_feed.h"

namespace {

using dataproc_test::Define;
using dataproc_test::Feed;
using dataproc_test::Found;
using sk::ToBytes;
using sk::TskDataPacket;
using sk::TskDataPackets;

TEST(DataPacket, NewDefinitionHasItsDefaultsAndAZeroFilledBuffer) {
  TskDataPackets packets;
  TskDataPacket& p = packets.Add();
  EXPECT_TRUE(p.Active());
  EXPECT_FALSE(p.ResetOthers());
  EXPECT_EQ(p.Caption(), "");
  EXPECT_TRUE(p.PacketBegin().empty());
  EXPECT_TRUE(p.PacketEnd().empty());
  EXPECT_EQ(p.PacketLength(), 0);
  EXPECT_FALSE(p.PacketEndByTimeout());
  EXPECT_FALSE(p.OnPacketLength());
  EXPECT_EQ(p.Tag(), 0);
  EXPECT_EQ(p.WildChar(), 0);
  EXPECT_EQ(p.State(), sk::dpsInactive);
  EXPECT_EQ(p.DataLength(), 0);
  EXPECT_TRUE(p.Data().empty());
  ASSERT_EQ(p.PacketLengthMax(), 16384);
  EXPECT_TRUE(std::all_of(p.DataPtr(), p.DataPtr() + 16384, [](sk::Byte b) { return b == 0; }));
  EXPECT_EQ(p.Collection(), &packets);
  EXPECT_EQ(p.Index(), 0);
}

TEST(DataPacket, DetectsNothingBeforeItsFirstReset) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "<", ">");
  EXPECT_TRUE(Feed(packets, "<a>").empty());
  EXPECT_FALSE(p.IsPossible());
  p.Reset();
  EXPECT_EQ(Feed(packets, "<a>"), (std::vector<Found>{{0, 0, "<a>"}}));
}

TEST(DataPacket, ResetEntersTheStateItsSettingsCallFor) {
  TskDataPackets packets;
  TskDataPacket& p = packets.Add();
  p.Reset();
  EXPECT_EQ(p.State(), sk::dpsInactive);
  p.SetPacketEndByTimeout(true);
  p.Reset();
  EXPECT_EQ(p.State(), sk::dpsWaitTimeout);
  p.SetOnPacketLength(
      sk::TskDataPacketLengthEvent::Bind(&p, [](TskDataPacket*, sk::Byte, bool&) {}));
  p.Reset();
  EXPECT_EQ(p.State(), sk::dpsWaitLength);
  p.SetOnPacketLength(nullptr);
  p.SetPacketLength(3);
  p.Reset();
  EXPECT_EQ(p.State(), sk::dpsWaitLength);
  p.SetPacketEnd(ToBytes("E"));
  p.Reset();
  EXPECT_EQ(p.State(), sk::dpsWaitEnd);
  // Reset ignores Active.
  p.SetActive(false);
  p.SetPacketBegin(ToBytes("B"));
  p.Reset();
  EXPECT_EQ(p.State(), sk::dpsWaitBegin);
}

TEST(DataPacket, InactiveDefinitionIgnoresBytes) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "<", ">");
  p.Reset();
  p.SetActive(false);
  EXPECT_TRUE(Feed(packets, "<a><b>").empty());
  EXPECT_EQ(p.State(), sk::dpsWaitBegin);
  EXPECT_FALSE(p.IsPossible());
}

TEST(DataPacket, BeginAndEndMarkerHoldMarkersAndPayload) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "answerB3", "answerE3", 3);
  p.Reset();
  const std::string answer =
      "answerB3\x01\x02"
      "answerE3";
  const auto found = Feed(packets, "xx" + answer + "yy");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].tag, 3);
  EXPECT_EQ(found[0].data, answer);
  EXPECT_EQ(found[0].data.size(), 18u);
}

TEST(DataPacket, SecondPacketNeedsAResetOrBecomesPayloadOfTheFirst) {
  const std::string answer =
      "answerB3\x01\x02"
      "answerE3";
  TskDataPackets packets;
  Define(packets, "answerB3", "answerE3", 3).Reset();
  EXPECT_EQ(Feed(packets, answer + answer), (std::vector<Found>{{0, 3, answer}, {0, 3, answer}}));

  TskDataPackets unreset;
  TskDataPacket& p = Define(unreset, "answerB3", "answerE3", 3);
  p.Reset();
  const auto found = Feed(unreset, answer + answer, /*resetCompleted=*/false);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].data, answer);
  EXPECT_EQ(found[1].data, answer + answer);
  EXPECT_EQ(p.State(), sk::dpsWaitEnd);
}

TEST(DataPacket, WildcardBeginMarkerIsStoredAsDefined) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "S??", "E");
  p.SetWildChar('?');
  p.Reset();
  EXPECT_EQ(Feed(packets, "Sxy12E"), (std::vector<Found>{{0, 0, "S??12E"}}));
  // The wildcard also applies to the end marker.
  p.SetPacketEnd(ToBytes("E?"));
  p.Reset();
  EXPECT_EQ(Feed(packets, "SabcEz"), (std::vector<Found>{{0, 0, "S??cEz"}}));
}

TEST(DataPacket, BeginMarkerAloneIsThePacketAndLeavesTheDefinitionInactive) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "AB", "");
  p.Reset();
  EXPECT_EQ(Feed(packets, "xAB", false), (std::vector<Found>{{0, 0, "AB"}}));
  EXPECT_EQ(p.State(), sk::dpsInactive);
  EXPECT_TRUE(Feed(packets, "AB", false).empty());
  p.Reset();
  EXPECT_EQ(Feed(packets, "AAB"), (std::vector<Found>{{0, 0, "AB"}}));
}

TEST(DataPacket, BeginMarkerWithLengthCountsTheMarker) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "AB", "", 0, 2);
  p.Reset();
  EXPECT_EQ(Feed(packets, "zAB"), (std::vector<Found>{{0, 0, "AB"}}));
  p.SetPacketLength(5);
  p.Reset();
  EXPECT_EQ(Feed(packets, "ABcdefAB123"), (std::vector<Found>{{0, 0, "ABcde"}, {0, 0, "AB123"}}));
}

TEST(DataPacket, LengthHandlerIsAskedUntilItReportsHandled) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "AB", "");
  std::string seen;
  p.SetOnPacketLength(sk::TskDataPacketLengthEvent::Bind(
      &seen, [&seen](TskDataPacket*, sk::Byte ch, bool& IsHandled) {
        seen += static_cast<char>(ch);
        IsHandled = true;
      }));
  p.Reset();
  EXPECT_EQ(Feed(packets, "ABxABy"), (std::vector<Found>{{0, 0, "ABx"}, {0, 0, "ABy"}}));
  EXPECT_EQ(seen, "xy");

  // Handled on the first byte, but the length is not reached yet: not asked again.
  seen.clear();
  p.SetPacketLength(5);
  p.Reset();
  EXPECT_EQ(Feed(packets, "AB123"), (std::vector<Found>{{0, 0, "AB123"}}));
  EXPECT_EQ(seen, "1");
}

TEST(DataPacket, LengthHandlerCanSetTheLengthOfThePacketBeingCollected) {
  // A length-prefixed frame: 'S', a count byte, then that many payload bytes.
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "S", "");
  p.SetOnPacketLength(sk::TskDataPacketLengthEvent::Bind(
      &p, [](TskDataPacket* Packet, sk::Byte ch, bool& IsHandled) {
        Packet->SetPacketLength(2 + (ch - '0'));
        IsHandled = true;
      }));
  p.Reset();
  EXPECT_EQ(Feed(packets, "S3abcS0S1z"),
            (std::vector<Found>{{0, 0, "S3abc"}, {0, 0, "S0"}, {0, 0, "S1z"}}));
}

TEST(DataPacket, LengthHandlerThatResetsItsDefinitionDropsThePacket) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "S", "");
  int calls = 0;
  p.SetOnPacketLength(sk::TskDataPacketLengthEvent::Bind(
      &calls, [&calls](TskDataPacket* Packet, sk::Byte ch, bool& IsHandled) {
        ++calls;
        if (ch == '!') Packet->Reset();  // not a frame after all
        IsHandled = true;
      }));
  p.Reset();
  EXPECT_EQ(Feed(packets, "S!Sx"), (std::vector<Found>{{0, 0, "Sx"}}));
  EXPECT_EQ(calls, 2);
}

TEST(DataPacket, EndMarkerWithoutBeginKeepsTheLastLengthBytes) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "", "E", 0, 4);
  p.Reset();
  EXPECT_EQ(Feed(packets, "123456E"), (std::vector<Found>{{0, 0, "456E"}}));
  EXPECT_EQ(Feed(packets, "zE"), (std::vector<Found>{{0, 0, "zE"}}));
  p.SetPacketLength(0);
  p.Reset();
  EXPECT_EQ(Feed(packets, "123456E"), (std::vector<Found>{{0, 0, "123456E"}}));
}

TEST(DataPacket, LengthAloneCutsRunsOfThatLength) {
  TskDataPackets packets;
  Define(packets, "", "", 0, 3).Reset();
  EXPECT_EQ(Feed(packets, "abcdefgh"), (std::vector<Found>{{0, 0, "abc"}, {0, 0, "def"}}));
}

TEST(DataPacket, FullBufferDiscardsThePacketAndKeepsCollecting) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "answerB0", "answerE0");
  p.Reset();
  const std::string fill(16384 - 8, '.');
  EXPECT_TRUE(Feed(packets, "answerB0" + fill).empty());
  EXPECT_EQ(p.DataLength(), 16384);
  EXPECT_TRUE(Feed(packets, "x").empty());  // finds the buffer full: nothing kept, not even x
  EXPECT_EQ(p.DataLength(), 0);
  EXPECT_EQ(p.State(), sk::dpsWaitEnd);
  EXPECT_EQ(Feed(packets, "tail answerE0"), (std::vector<Found>{{0, 0, "tail answerE0"}}));
}

TEST(DataPacket, EndMarkerOnTheByteThatFoundTheBufferFullGivesAnEmptyPacket) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "B", "END");
  p.SetPacketLengthMax(512);
  p.Reset();
  EXPECT_TRUE(Feed(packets, "B" + std::string(509, '.') + "EN", false).empty());
  EXPECT_EQ(p.DataLength(), 512);
  const auto found = Feed(packets, "D", false);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].data, "");
  EXPECT_EQ(p.DataLength(), 0);
}

TEST(DataPacket, PacketLengthMaxHasAFloorAndKeepsCollectedBytes) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "", "E");
  p.SetPacketLengthMax(100);
  EXPECT_EQ(p.PacketLengthMax(), 512);
  const sk::Byte* before = p.DataPtr();
  p.SetPacketLengthMax(512);
  EXPECT_EQ(p.DataPtr(), before);  // same size: the buffer stays

  p.Reset();
  Feed(packets, std::string(512, 'a') + "!xyz");  // ! finds the buffer full
  p.SetPacketLengthMax(1024);                     // growing keeps the bytes collected since
  EXPECT_EQ(Feed(packets, "E"), (std::vector<Found>{{0, 0, "xyzE"}}));

  Feed(packets, std::string(700, 'b'));
  p.SetPacketLengthMax(600);  // shrinking keeps what fits; the next byte finds the buffer full
  EXPECT_EQ(p.DataLength(), 600);
  EXPECT_EQ(p.Data(), ToBytes(std::string(600, 'b')));
  EXPECT_EQ(Feed(packets, "cE"), (std::vector<Found>{{0, 0, "E"}}));
}

TEST(DataPacket, LengthBeyondTheBufferNeverCompletes) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "", "", 0, 600);
  p.SetPacketLengthMax(512);
  p.Reset();
  EXPECT_TRUE(Feed(packets, std::string(2000, 'z')).empty());
  EXPECT_LE(p.DataLength(), 512);
}

TEST(DataPacket, BeginMarkerLongerThanTheBufferGrowsIt) {
  TskDataPackets packets;
  TskDataPacket& p = packets.Add();
  std::string marker(700, 'm');
  marker.back() = '!';
  p.SetPacketBegin(ToBytes(marker));
  EXPECT_EQ(p.PacketBeginLength(), 700);
  EXPECT_EQ(p.PacketLengthMax(), 16384);  // fits already

  p.SetPacketLengthMax(512);
  EXPECT_EQ(p.PacketLengthMax(), 700);  // never below the marker
  p.Reset();
  EXPECT_EQ(Feed(packets, "xx" + marker), (std::vector<Found>{{0, 0, marker}}));

  std::string huge(20000, 'h');
  huge.back() = '#';
  p.SetPacketBegin(ToBytes(huge));
  EXPECT_EQ(p.PacketLengthMax(), 20000);
  p.Reset();
  EXPECT_EQ(Feed(packets, huge), (std::vector<Found>{{0, 0, huge}}));
}

TEST(DataPacket, AssignCopiesOnlyTheFramingSettings) {
  TskDataPackets packets;
  TskDataPacket& from = Define(packets, "B", "E", 7, 9);
  from.SetActive(false);
  from.SetResetOthers(true);
  from.SetCaption("Ack");
  from.SetWildChar('?');
  from.SetPacketEndByTimeout(true);
  from.SetPacketLengthMax(1000);
  TskDataPacket& to = packets.Add();
  to.Assign(from);
  EXPECT_FALSE(to.Active());
  EXPECT_TRUE(to.ResetOthers());
  EXPECT_EQ(to.Caption(), "Ack");
  EXPECT_EQ(to.PacketBegin(), ToBytes("B"));
  EXPECT_EQ(to.PacketBeginLength(), 1);
  EXPECT_EQ(to.PacketEnd(), ToBytes("E"));
  EXPECT_EQ(to.PacketEndLength(), 1);
  EXPECT_EQ(to.PacketLength(), 9);
  EXPECT_EQ(to.Tag(), 0);
  EXPECT_EQ(to.WildChar(), 0);
  EXPECT_FALSE(to.PacketEndByTimeout());
  EXPECT_EQ(to.PacketLengthMax(), 16384);
}

TEST(DataPacket, AssignFromAnotherKindFailsAndChangesNothing) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "B", "E", 1);
  p.SetCaption("keep");
  sk::TComponent other;
  EXPECT_THROW(p.Assign(other), sk::Exception);
  EXPECT_THROW(p.Assign(packets), sk::Exception);
  EXPECT_EQ(p.Caption(), "keep");
  EXPECT_EQ(p.PacketBegin(), ToBytes("B"));
}

TEST(DataPacket, DisplayNameIsAVisibleCaptionOrTheClassName) {
  TskDataPackets packets;
  TskDataPacket& p = packets.Add();
  EXPECT_EQ(p.GetDisplayName(), "TskDataPacket");
  p.SetCaption(" \t\r ");
  EXPECT_EQ(p.GetDisplayName(), "TskDataPacket");
  p.SetCaption(" Ack ");
  EXPECT_EQ(p.GetDisplayName(), " Ack ");
  p.SetCaption("\xC3\xA9");  // a letter outside ASCII
  EXPECT_EQ(p.GetDisplayName(), "\xC3\xA9");
}

TEST(DataPacket, IsPossibleWhileAMarkerOrAPacketIsPending) {
  TskDataPackets packets;
  TskDataPacket& p = Define(packets, "AB", "CD");
  p.Reset();
  EXPECT_FALSE(p.IsPossible());
  Feed(packets, "A");
  EXPECT_TRUE(p.IsPossible());
  Feed(packets, "x");
  EXPECT_FALSE(p.IsPossible());
  Feed(packets, "AB");
  EXPECT_TRUE(p.IsPossible());
  p.Reset();
  EXPECT_FALSE(p.IsPossible());
}

}  // namespace
