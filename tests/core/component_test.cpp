#include "serialkit/core/component.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using sk::TComponent;
using sk::TOperation;

// Holds a link to another component and drops it when told of its destruction.
class Linker : public TComponent {
 public:
  Linker(TComponent* owner, std::vector<std::string>* trail = nullptr)
      : TComponent(owner), trail_(trail) {}
  ~Linker() override {
    if (trail_) trail_->push_back("destroy " + Name());
  }
  void Link(TComponent* other) {
    link = other;
    FreeNotification(other);
  }
  TComponent* link = nullptr;
  int loadedCalls = 0;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == TOperation::opRemove && c == link) link = nullptr;
  }
  void Loaded() override { ++loadedCalls; }

 private:
  std::vector<std::string>* trail_;
};

TEST(Component, OwnerDestroysOwnedComponentsLastCreatedFirst) {
  std::vector<std::string> trail;
  {
    TComponent owner;
    TComponent::Create<Linker>(owner, &trail).SetName("a");
    TComponent::Create<Linker>(owner, &trail).SetName("b");
    EXPECT_EQ(owner.ComponentCount(), 2u);
  }
  EXPECT_EQ(trail, (std::vector<std::string>{"destroy b", "destroy a"}));
}

TEST(Component, LinkIsDroppedWhenTheOtherSideIsDestroyedEitherWay) {
  TComponent owner;
  auto& a = TComponent::Create<Linker>(owner);
  auto& b = TComponent::Create<Linker>(owner);
  auto& c = TComponent::Create<Linker>(owner);
  a.Link(&b);
  c.Link(&a);
  owner.DestroyComponent(&b);
  EXPECT_EQ(a.link, nullptr);
  // a goes while c still links to it: c must not be left dangling.
  owner.DestroyComponent(&a);
  EXPECT_EQ(c.link, nullptr);
  EXPECT_EQ(owner.ComponentCount(), 1u);
}

TEST(Component, LoadedRunsOnceWhenLoadingEnds) {
  Linker l(nullptr);
  l.BeginLoading();
  EXPECT_TRUE(l.IsLoading());
  EXPECT_EQ(l.loadedCalls, 0);
  l.EndLoading();
  l.EndLoading();
  EXPECT_FALSE(l.IsLoading());
  EXPECT_EQ(l.loadedCalls, 1);
}

TEST(Event, IdentityIsHandlerAndObjectTogether) {
  struct Target {
    void A(int) {}
    void B(int) {}
  } x, y;
  sk::TEvent<void(int)> xa(&x, &Target::A), xa2(&x, &Target::A), xb(&x, &Target::B),
      ya(&y, &Target::A);
  EXPECT_TRUE(xa.SameHandler(xa2));
  EXPECT_FALSE(xa.SameHandler(xb));
  EXPECT_FALSE(xa.SameHandler(ya));
  EXPECT_TRUE(static_cast<bool>(xa));
  EXPECT_FALSE(static_cast<bool>(sk::TEvent<void(int)>()));
}

TEST(Persistent, AssignFromUnknownKindFails) {
  TComponent a, b;
  EXPECT_THROW(a.Assign(b), sk::Exception);
}

}  // namespace
