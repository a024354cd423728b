#include "serialkit/dataproc/comm_event_new.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sk::TCommEventNew;
using sk::ToBytes;

// The positions (1-based) of the input bytes on which IsEvent returned true.
std::vector<int> Hits(TCommEventNew& m, const std::string& input, char wild = 0) {
  std::vector<int> hits;
  for (std::size_t i = 0; i < input.size(); ++i)
    if (m.IsEvent(static_cast<sk::Byte>(input[i]), static_cast<sk::Byte>(wild)))
      hits.push_back(static_cast<int>(i) + 1);
  return hits;
}

TEST(CommEventNew, CompletesOnTheLastPatternByteAndReportsPartialMatches) {
  TCommEventNew m(ToBytes("abc"));
  EXPECT_EQ(m.Len(), 3);
  EXPECT_EQ(m.Str(), ToBytes("abc"));
  EXPECT_FALSE(m.IsPossible());
  EXPECT_FALSE(m.IsEvent('a', 0));
  EXPECT_TRUE(m.IsPossible());
  EXPECT_FALSE(m.IsEvent('b', 0));
  EXPECT_TRUE(m.IsPossible());
  EXPECT_TRUE(m.IsEvent('c', 0));
  EXPECT_FALSE(m.IsPossible());
}

TEST(CommEventNew, RestartLooksOnlyAtTheFirstPatternByte) {
  TCommEventNew abc(ToBytes("abc"));
  EXPECT_EQ(Hits(abc, "ababc"), std::vector<int>{5});

  // Restarting at position 2 after "aa" leaves b to meet the second a: no fallback, no match.
  TCommEventNew aab(ToBytes("aab"));
  EXPECT_EQ(Hits(aab, "aaab"), std::vector<int>{});
  EXPECT_FALSE(aab.IsPossible());

  // A completed occurrence never lends its bytes to the next one.
  TCommEventNew aa(ToBytes("aa"));
  EXPECT_EQ(Hits(aa, "aaaa"), (std::vector<int>{2, 4}));
  EXPECT_EQ(Hits(aa, "aaa"), std::vector<int>{2});
  EXPECT_TRUE(aa.IsPossible());
}

TEST(CommEventNew, WildcardAcceptsAnyByteOnlyWhenGiven) {
  TCommEventNew m(ToBytes("a?c"));
  EXPECT_EQ(Hits(m, "abc", '?'), std::vector<int>{3});
  EXPECT_EQ(Hits(m, "axc", '?'), std::vector<int>{3});
  EXPECT_EQ(Hits(m, "a?c", '?'), std::vector<int>{3});
  EXPECT_EQ(Hits(m, "abc axc a?c", 0), std::vector<int>{11});
  // The wildcard matches a zero byte as well.
  EXPECT_EQ(Hits(m, std::string("a\0c", 3), '?'), std::vector<int>{3});
}

TEST(CommEventNew, WildcardFirstByteRestartsOnAnyByte) {
  TCommEventNew m(ToBytes("?bc"));
  EXPECT_EQ(Hits(m, "xxbc", '?'), std::vector<int>{4});
  // Without the wildcard character, ? is a plain byte.
  EXPECT_EQ(Hits(m, "xxbc?bc", 0), std::vector<int>{7});
}

TEST(CommEventNew, ComparesRawBytesWithoutCaseFolding) {
  TCommEventNew m(ToBytes("answerE0"));
  EXPECT_EQ(Hits(m, "ANSWERE0 AnswerE0 answere0"), std::vector<int>{});
  EXPECT_EQ(Hits(m, "answerE0"), std::vector<int>{8});

  TCommEventNew binary(sk::ByteString{0x00, 0xFF, 0x80});
  EXPECT_EQ(Hits(binary, std::string("\x00\x00\xFF\x80\xFF", 5)), std::vector<int>{4});
}

TEST(CommEventNew, EmptyPatternNeverMatches) {
  TCommEventNew m;
  EXPECT_EQ(m.Len(), 0);
  EXPECT_EQ(Hits(m, std::string("ab\0c", 4), 'a'), std::vector<int>{});
  EXPECT_FALSE(m.IsPossible());
}

TEST(CommEventNew, ResetOrNewPatternAbandonsAPartialMatch) {
  TCommEventNew m(ToBytes("abc"));
  Hits(m, "ab");
  m.Reset();
  EXPECT_FALSE(m.IsPossible());
  EXPECT_EQ(Hits(m, "c"), std::vector<int>{});
  EXPECT_EQ(Hits(m, "abc"), std::vector<int>{3});

  Hits(m, "ab");
  m.SetStr(ToBytes("cd"));
  EXPECT_FALSE(m.IsPossible());
  EXPECT_EQ(m.Len(), 2);
  EXPECT_EQ(Hits(m, "ccd"), std::vector<int>{3});
}

}  // namespace
