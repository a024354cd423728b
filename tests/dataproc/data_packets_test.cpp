#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "serialkit/dataproc/data_packet.h"
#include "serialkit/dataproc/data_processor.h"
#include "loader/boot_protocol.h"
#include "packet_feed.h"

namespace {

using dataproc_test::Define;
using dataproc_test::Feed;
using dataproc_test::Found;
using sk::ToBytes;
using sk::TskDataPacket;
using sk::TskDataPackets;
namespace protocol = bootshell::protocol;
using namespace std::string_literals;

void DefineDeviceAnswers(TskDataPackets& packets) {
  for (const auto& a : protocol::kAnswers)
    Define(packets, std::string(a.begin), std::string(a.end), a.tag);
}

TEST(DataPackets, DeviceAnswersInANoisyStreamAreFoundWhereverTheStreamIsSplit) {
  // Noise with near misses: capitals, a broken-off marker, a stray end marker, binary bytes.
  const std::vector<std::string> noise = {
      "\x00\xFF garbage "s, "ANSWERB0", "answerB", "answerE2", "answ\x80", "", "answerBInf", "a"};
  std::string stream;
  std::vector<Found> expected;
  for (std::size_t i = 0; i < protocol::kAnswers.size(); ++i) {
    const auto& a = protocol::kAnswers[i];
    const std::string answer = std::string(a.begin) + "<payload " + std::to_string(i) +
                               std::string("\x00\x01\xFE", 3) + ">" + std::string(a.end);
    stream += noise[i] + answer;
    expected.push_back({static_cast<std::int32_t>(i), a.tag, answer});
  }
  stream += "trailing answerB1 unfinished";

  for (std::size_t split = 0; split <= stream.size(); ++split) {
    TskDataPackets packets;
    DefineDeviceAnswers(packets);
    packets.Reset();
    auto found = Feed(packets, stream.substr(0, split));
    const auto rest = Feed(packets, stream.substr(split));
    found.insert(found.end(), rest.begin(), rest.end());
    ASSERT_EQ(found, expected) << "split at " << split;
    EXPECT_TRUE(packets.IsPacketPossible());  // the unfinished answer is pending
  }
}

TEST(DataPackets, OnlyTheEarlierOfTwoDefinitionsCompletingOnTheSameByteSeesIt) {
  TskDataPackets packets;
  Define(packets, "", "AB", 1).Reset();
  TskDataPacket& later = Define(packets, "", "B", 2);
  later.Reset();
  EXPECT_EQ(Feed(packets, "AB"), (std::vector<Found>{{0, 1, "AB"}}));
  EXPECT_EQ(later.Data(), ToBytes("A"));  // the B never reached it
  EXPECT_EQ(Feed(packets, "B"), (std::vector<Found>{{1, 2, "AB"}}));
}

TEST(DataPackets, ResetOthersDropsOtherPartialPacketsBeforeThePacketIsReported) {
  TskDataPackets packets;
  TskDataPacket& open = Define(packets, "<", ">", 1);
  TskDataPacket& marker = Define(packets, "[[", "]", 2);
  TskDataPacket& resetter = Define(packets, "!", "", 3);
  TskDataPacket& after = Define(packets, "", "#", 4);
  resetter.SetResetOthers(true);
  packets.Reset();

  Feed(packets, "<abc[");
  EXPECT_TRUE(open.IsPossible());
  EXPECT_TRUE(marker.IsPossible());
  EXPECT_TRUE(after.IsPossible());
  EXPECT_EQ(packets.IsPacket('!'), 2);
  // Already reset when the processor reports the packet.
  EXPECT_FALSE(open.IsPossible());
  EXPECT_FALSE(marker.IsPossible());
  EXPECT_FALSE(after.IsPossible());
  EXPECT_EQ(resetter.Data(), ToBytes("!"));
  resetter.Reset();
  EXPECT_EQ(Feed(packets, "def><x>"), (std::vector<Found>{{0, 1, "<x>"}}));

  // Without ResetOthers the other definitions keep what they have.
  resetter.SetResetOthers(false);
  Feed(packets, "<abc");
  EXPECT_EQ(Feed(packets, "!"), (std::vector<Found>{{2, 3, "!"}}));
  EXPECT_EQ(Feed(packets, ">"), (std::vector<Found>{{0, 1, "<abc!>"}}));
}

TEST(DataPackets, IsPacketPossibleLooksOnlyAtDefinitionsUpToTheCompletingOne) {
  TskDataPackets packets;
  Define(packets, "", "X", 1).SetPacketLength(1);
  TskDataPacket& pending = Define(packets, "<", ">", 2);
  packets.Reset();
  EXPECT_EQ(packets.IsPacket('<'), -1);
  EXPECT_TRUE(packets.IsPacketPossible());
  packets.Items(0).Reset();
  EXPECT_EQ(packets.IsPacket('X'), 0);
  EXPECT_FALSE(packets.IsPacketPossible());  // the later definition was not asked
  EXPECT_TRUE(pending.IsPossible());
  packets.Items(0).Reset();
  EXPECT_EQ(packets.IsPacket('>'), 1);
  EXPECT_TRUE(packets.IsPacketPossible());  // the first one holds the '>'
}

TEST(DataPackets, TimeoutEndsTheFirstDefinitionThatEndsByTimeoutAndHasData) {
  TskDataPackets packets;
  TskDataPacket& plain = Define(packets, "<", ">", 1);
  TskDataPacket& marked = Define(packets, "<", ">", 2);
  marked.SetPacketEndByTimeout(true);
  TskDataPacket& tail = Define(packets, "", "", 3, 3);
  tail.SetPacketLength(0);
  tail.SetPacketEndByTimeout(true);
  packets.Reset();
  EXPECT_EQ(tail.State(), sk::dpsWaitTimeout);
  EXPECT_EQ(packets.TimeoutPacketIndex(), -1);  // nothing collected yet

  Feed(packets, "<abc");
  EXPECT_EQ(packets.TimeoutPacketIndex(), 1);  // ends mid-packet with what it has
  EXPECT_EQ(marked.Data(), ToBytes("<abc"));
  EXPECT_EQ(plain.Data(), ToBytes("<abc"));
  marked.Reset();
  EXPECT_EQ(packets.TimeoutPacketIndex(), 2);  // the next silence ends the other one
  EXPECT_EQ(tail.Data(), ToBytes("<abc"));

  // Cut to the last PacketLength bytes; Active is not consulted.
  tail.SetPacketLength(2);
  tail.SetActive(false);
  marked.SetPacketEndByTimeout(false);
  EXPECT_EQ(packets.TimeoutPacketIndex(), 2);
  EXPECT_EQ(tail.Data(), ToBytes("bc"));

  // With ResetOthers the others are reset first.
  tail.SetResetOthers(true);
  EXPECT_EQ(packets.TimeoutPacketIndex(), 2);
  EXPECT_FALSE(plain.IsPossible());
  EXPECT_EQ(tail.Data(), ToBytes("bc"));
}

TEST(DataPackets, ResetAllExceptLeavesOneDefinitionAlone) {
  TskDataPackets packets;
  for (int i = 0; i < 3; ++i) Define(packets, "", "#", i);
  packets.Reset();
  Feed(packets, "abc");
  packets.ResetAllExcept(1);
  EXPECT_FALSE(packets.Items(0).IsPossible());
  EXPECT_EQ(packets.Items(1).Data(), ToBytes("abc"));
  EXPECT_FALSE(packets.Items(2).IsPossible());
  packets.Reset();
  EXPECT_FALSE(packets.Items(1).IsPossible());
}

TEST(DataPackets, ItemsAreAddedInsertedAndMovedByIndex) {
  TskDataPackets packets;
  EXPECT_EQ(packets.Count(), 0);
  EXPECT_EQ(packets.DataProcessor(), nullptr);
  packets.Add().SetTag(0);
  packets.Add().SetTag(1);
  packets.Insert(0).SetTag(2);
  packets.Insert(-1).SetTag(3);
  auto tags = [&packets] {
    std::vector<int> t;
    for (int i = 0; i < packets.Count(); ++i) t.push_back(packets.Items(i).Tag());
    return t;
  };
  EXPECT_EQ(tags(), (std::vector<int>{2, 0, 1, 3}));
  EXPECT_EQ(packets.Items(3).Index(), 3);

  packets.AddItem(&packets.Items(3), 1);
  EXPECT_EQ(tags(), (std::vector<int>{2, 3, 0, 1}));
  packets.AddItem(nullptr, 2).SetTag(4);
  EXPECT_EQ(tags(), (std::vector<int>{2, 3, 4, 0, 1}));
  packets.Delete(0);
  EXPECT_EQ(tags(), (std::vector<int>{3, 4, 0, 1}));

  EXPECT_THROW(packets.Items(4), sk::Exception);
  EXPECT_THROW(packets.Items(-1), sk::Exception);
  EXPECT_THROW(packets.Insert(5), sk::Exception);
  EXPECT_THROW(packets.AddItem(&packets.Items(0), 4), sk::Exception);
  EXPECT_EQ(tags(), (std::vector<int>{3, 4, 0, 1}));  // failed calls changed nothing
}

TEST(DataPackets, AddItemMovesADefinitionFromAnotherCollection) {
  TskDataPackets from;
  TskDataPackets to;
  Define(from, "<", ">", 5).SetCaption("moved");
  Define(from, "[", "]", 6);
  to.Add().SetTag(1);
  TskDataPacket& item = from.Items(0);
  EXPECT_THROW(to.AddItem(&item, 2), sk::Exception);
  EXPECT_EQ(item.Collection(), &from);

  EXPECT_EQ(&to.AddItem(&item, 0), &item);
  EXPECT_EQ(item.Collection(), &to);
  EXPECT_EQ(from.Count(), 1);
  EXPECT_EQ(from.Items(0).Tag(), 6);
  ASSERT_EQ(to.Count(), 2);
  EXPECT_EQ(to.Items(0).Caption(), "moved");
  EXPECT_EQ(to.Items(1).Tag(), 1);
  item.Reset();
  EXPECT_EQ(Feed(to, "<x>"), (std::vector<Found>{{0, 5, "<x>"}}));
}

TEST(DataPackets, WritingAnItemOrTheCollectionAssignsDefinitions) {
  TskDataPackets source;
  Define(source, "answerB1", "answerE1", 1).SetCaption("one");
  Define(source, "answerB2", "answerE2", 2);
  TskDataPackets target;
  Define(target, "old", "old", 9);

  target.SetItems(0, source.Items(1));
  EXPECT_EQ(target.Items(0).PacketBegin(), ToBytes("answerB2"));
  EXPECT_EQ(target.Items(0).Tag(), 9);  // not a framing setting

  target.Assign(source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Items(0).Caption(), "one");
  EXPECT_EQ(target.Items(1).PacketEnd(), ToBytes("answerE2"));
  EXPECT_EQ(target.Items(1).Collection(), &target);

  sk::TComponent other;
  EXPECT_THROW(target.Assign(other), sk::Exception);
  EXPECT_EQ(target.Count(), 2);
}

TEST(DataPackets, ByteThatCompletesADefinitionIsMissedByLaterOnesWithSimilarMarkers) {
  TskDataPackets packets;
  Define(packets, "xyz1", "", 1);
  Define(packets, "", "y", 2);
  Define(packets, "xyz2", "", 3);  // starts like the first one
  packets.Reset();
  // The y completes the second definition, so the third never sees it and "xyz2" is no
  // begin marker for it; the first saw the y but fails on the 2.
  EXPECT_EQ(Feed(packets, "xyz2"), (std::vector<Found>{{1, 2, "xy"}}));
  EXPECT_FALSE(packets.Items(2).IsPossible());
  EXPECT_EQ(Feed(packets, "1xyz2"), (std::vector<Found>{{1, 2, "z21xy"}}));
}

TEST(DataPackets, DefinitionSwitchedOnByAnEarlierLengthHandlerSeesTheSameByte) {
  TskDataPackets packets;
  TskDataPacket& framed = Define(packets, "S", "", 1);
  TskDataPacket& late = Define(packets, "", "x", 2);
  late.SetActive(false);
  framed.SetOnPacketLength(
      sk::TskDataPacketLengthEvent::Bind(&late, [&late](TskDataPacket*, sk::Byte ch, bool&) {
        if (ch == 'x') late.SetActive(true);
      }));
  packets.Reset();
  EXPECT_TRUE(Feed(packets, "abS").empty());
  EXPECT_EQ(Feed(packets, "x"), (std::vector<Found>{{1, 2, "x"}}));
}

TEST(DataPackets, ResetOrNewMarkerFromAHandlerReachesLaterDefinitionsBeforeTheByteDoes) {
  // The first and the last definition step together on their common "ab"; the middle one
  // matches any two bytes and its handler acts on the byte after them, the third of the stream.
  struct Row {
    const char* what;
    bool fromLengthHandler;  // else from OnDataPacket, the middle one completing on that byte
    std::function<void(sk::TskDataProcessor&)> act;
    std::string bytes;
    std::vector<Found> expected;
  };
  const std::vector<Row> rows = {
      {"processor reset", true, [](auto& p) { p.Reset(); }, "aabb", {}},
      {"own reset of the last",
       true,
       [](auto& p) { p.DataPackets().Items(2).Reset(); },
       "aabb",
       {}},
      // Loaded on the third byte, the new marker ends on the fifth: once, not twice.
      {"new marker for the last",
       true,
       [](auto& p) {
         p.DataPackets().Items(2).SetPacketBegin(ToBytes("bbb"));
         p.DataPackets().Items(2).Reset();
       },
       "aabbbbb",
       {{2, 102, "bbb"}}},
      // The last one never saw the completing byte; the reset must still reach it.
      {"processor reset in OnDataPacket",
       false,
       [](auto& p) { p.Reset(); },
       "aabbb",
       {{1, 101, "bbb"}}},
  };
  for (const Row& row : rows) {
    for (const bool oneChunk : {true, false}) {
      sk::TskDataProcessor proc;
      TskDataPackets& packets = proc.DataPackets();
      Define(packets, "aba", "", 100);
      TskDataPacket& any = Define(packets, "bb", "", 101);
      any.SetWildChar('b');
      Define(packets, "abb", "", 102);
      if (row.fromLengthHandler)
        any.SetOnPacketLength(
            sk::TskDataPacketLengthEvent::Bind(&proc, [&](TskDataPacket* p, sk::Byte ch, bool&) {
              if (ch == 'b' && p->DataLength() == 3) row.act(proc);
            }));
      else
        any.SetPacketLength(3);
      std::vector<Found> found;
      proc.SetOnDataPacket(
          sk::TskDataPacketEvent::Bind(&found, [&](sk::TObject*, TskDataPacket* p) {
            found.push_back({p->Index(), p->Tag(), sk::ToText(p->Data())});
            if (p == &any) row.act(proc);
          }));
      proc.Reset();
      const auto* bytes = reinterpret_cast<const sk::Byte*>(row.bytes.data());
      if (oneChunk)
        proc.DataReceive(bytes, static_cast<std::uint32_t>(row.bytes.size()));
      else
        for (std::size_t i = 0; i < row.bytes.size(); ++i) proc.DataReceive(bytes + i, 1);
      EXPECT_EQ(found, row.expected) << row.what << (oneChunk ? ", one chunk" : ", byte by byte");
    }
  }
}

TEST(DataPackets, ManyDefinitionsAreAllOfferedEveryByte) {
  TskDataPackets packets;
  for (int i = 0; i < 70; ++i) Define(packets, "<" + std::to_string(i) + ":", ">", i);
  packets.Reset();
  EXPECT_EQ(Feed(packets, "<69:a><5:b><64:c>"),
            (std::vector<Found>{{69, 69, "<69:a>"}, {5, 5, "<5:b>"}, {64, 64, "<64:c>"}}));
}

}  // namespace
