#include <gtest/gtest.h>

#include "serialkit/log/log_file.h"
#include "log_test_support.h"

namespace {

using sk::TskLogFile;

class FakeEdit : public sk::LogEditControl {
 public:
  using LogEditControl::LogEditControl;
  std::string Text() const override { return text; }
  void SetText(const std::string& Value) override {
    if (failing) throw std::runtime_error("control gone");
    text = Value;
  }
  std::string text = "before";
  bool failing = false;
};

TEST(LogVisualOut, MirrorsEveryLineIntoTheControl) {
  TskLogFile sink;
  FakeEdit edit;
  sink.SetOptions({});
  sink.SetFileName("");
  sink.SetVisualOut(&edit);
  sink.Add("one");
  sink.Add("two\t");
  EXPECT_EQ(edit.text, "before" + sink.Log());
  EXPECT_TRUE(edit.text.ends_with("\r\none\r\ntwo\\09h"));
}

TEST(LogVisualOut, ControlIsForgottenWhenDestroyed) {
  sk::TComponent form;
  TskLogFile& sink = sk::TComponent::Create<TskLogFile>(form);
  sink.SetOptions({});
  sink.SetFileName("");
  auto& edit = sk::TComponent::Create<FakeEdit>(form);
  sink.SetVisualOut(&edit);
  form.DestroyComponent(&edit);
  EXPECT_EQ(sink.VisualOut(), nullptr);
  sink.Add("after");  // must not touch the destroyed control
  EXPECT_TRUE(sink.Log().ends_with("after"));
}

TEST(LogVisualOut, FailingControlIsAFatalErrorWithoutMessage) {
  TskLogFile sink;
  FakeEdit edit;
  sink.SetOptions({});
  sink.SetFileName("");
  sink.SetVisualOut(&edit);
  sink.Add("ok");
  edit.failing = true;
  std::vector<std::string> messages;
  bool raise = true;
  sink.SetOnFatalError(sk::TOnFatalErrorEvent::Bind(
      nullptr, [&](sk::TObject*, std::uint32_t code, std::uint32_t detail, const std::string& msg,
                   bool& raiseException) {
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(detail, 0u);
        messages.push_back(msg);
        raiseException = raise;
      }));
  EXPECT_THROW(sink.Add("raised"), sk::Exception);
  raise = false;
  EXPECT_NO_THROW(sink.Add("quiet"));
  EXPECT_EQ(messages, (std::vector<std::string>{"", ""}));
  // The entries themselves are kept.
  EXPECT_TRUE(sink.Log().ends_with("\r\nraised\r\nquiet"));
}

}  // namespace
