#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serialkit/comm/notify_list.h"

using namespace sk;

namespace {

// A subscriber that records the codes it was told.
struct Listener : TObject {
  std::vector<std::int32_t> codes;
  std::vector<TObject*> senders;
  void Notify(TObject* Sender, std::int32_t Code) {
    senders.push_back(Sender);
    codes.push_back(Code);
  }
  void Other(TObject*, std::int32_t Code) { codes.push_back(-Code); }
  TskNotifyEvent Event() { return TskNotifyEvent(this, &Listener::Notify); }
};

}  // namespace

TEST(TskNotifyList, IdentityIsTheSameHandlerOfTheSameObject) {
  TskNotifyList list;
  Listener a, b;
  EXPECT_EQ(0, list.Add(a.Event()));
  EXPECT_EQ(1, list.Add(b.Event()));
  EXPECT_EQ(0, list.IndexOf(a.Event()));
  EXPECT_EQ(1, list.IndexOf(b.Event()));
  EXPECT_EQ(-1, list.IndexOf(TskNotifyEvent(&a, &Listener::Other)));
  Listener c;
  EXPECT_EQ(-1, list.IndexOf(c.Event()));
}

TEST(TskNotifyList, CallsEveryEntryInOrderWithSenderAndCode) {
  TskNotifyList list;
  Listener a, b;
  TObject sender;
  std::vector<std::string> order;
  list.Add(TskNotifyEvent::Bind(&a, [&](TObject*, std::int32_t) { order.push_back("a"); }));
  list.Add(TskNotifyEvent::Bind(&b, [&](TObject*, std::int32_t) { order.push_back("b"); }));
  list.Add(a.Event());
  list.Call(&sender, 2);
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), order);
  EXPECT_EQ(std::vector<std::int32_t>{2}, a.codes);
  EXPECT_EQ(&sender, a.senders.at(0));
}

TEST(TskNotifyList, GetPutAndDeleteWorkByIndex) {
  TskNotifyList list;
  Listener a, b;
  list.Add(a.Event());
  list.Add(b.Event());
  list.Put(0, TskNotifyEvent(&a, &Listener::Other));
  EXPECT_TRUE(list.Get(0).SameHandler(TskNotifyEvent(&a, &Listener::Other)));
  list.Delete(0);
  EXPECT_EQ(1, list.Count());
  EXPECT_EQ(0, list.IndexOf(b.Event()));
  list.Clear();
  EXPECT_EQ(0, list.Count());
}

TEST(TskNotifyList, AnIndexOutOfRangeIsAnError) {
  TskNotifyList list;
  Listener a;
  list.Add(a.Event());
  EXPECT_THROW(list.Get(1), Exception);
  EXPECT_THROW(list.Delete(-1), Exception);
  EXPECT_THROW(list.Put(5, a.Event()), Exception);
  EXPECT_EQ(1, list.Count());
}

TEST(TskNotifyList, EntriesAddedDuringACallAreNotCalledByIt) {
  TskNotifyList list;
  Listener late;
  int first = 0;
  list.Add(TskNotifyEvent::Bind(&list, [&](TObject*, std::int32_t) {
    ++first;
    list.Add(late.Event());
  }));
  list.Call(nullptr, 3);
  EXPECT_EQ(1, first);
  EXPECT_TRUE(late.codes.empty());
  EXPECT_EQ(2, list.Count());
}

TEST(TskNotifyList, ASubscriberLeavingDuringACallSkipsNobodyElse) {
  TskNotifyList list;
  Listener after;
  int leaver = 0;
  list.Add(TskNotifyEvent::Bind(&leaver, [&](TObject*, std::int32_t) {
    ++leaver;
    list.Delete(0);
  }));
  list.Add(after.Event());
  list.Call(nullptr, 1);
  EXPECT_EQ(1, leaver);
  EXPECT_EQ(std::vector<std::int32_t>{1}, after.codes);  // moved to index 0, still called
  EXPECT_EQ(1, list.Count());
}

TEST(TskNotifyList, ASubscriberRemovedByAnEarlierOneIsNotCalled) {
  TskNotifyList list;
  Listener removed;
  list.Add(TskNotifyEvent::Bind(
      &list, [&](TObject*, std::int32_t) { list.Delete(list.IndexOf(removed.Event())); }));
  list.Add(removed.Event());
  list.Call(nullptr, 1);
  EXPECT_TRUE(removed.codes.empty());  // it may be gone already
}
