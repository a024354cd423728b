// The port chooser on a serial port whose port map holds pseudo-terminals as COM1, COM3 and
// COM4 (and nothing of the machine's own).
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serialkit/comm/serial_comm.h"
#include "serialkit/platform/application.h"
#include "serialkit/testing/pseudo_terminal.h"
#include "support/foreign_lock.h"
#include "support/scratch_dir.h"
#include "serialkit/widgets/device_box.h"

namespace sk::widgets {
namespace {

using platform::TDeviceChangeMessage;

// A serial port that tells who withdrew from its notify list.
class WatchedComm : public TskComm {
 public:
  using TskComm::TskComm;
  ~WatchedComm() override { Shutdown(); }
  void NotifyDelete(const TskNotifyEvent& E) override {
    withdrawn.push_back(E.Object());
    TskComm::NotifyDelete(E);
  }
  std::vector<const void*> withdrawn;
};

class DeviceBox : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SK_PORTMAP_DIR", Ports().c_str(), 1);
    ::setenv("SK_SYSFS_ROOT", (scratch_.Path() / "sys").c_str(), 1);
    ::setenv("SK_NO_UDEV", "1", 1);
    for (int n : {1, 3, 4}) AddPort(n);
    comm_->SetEnumPorts(epQuickAll);
    comm_->SetComPortNo(3);
    platform::Application().SetErrorReport([this](const std::string& M) { errors_.push_back(M); });
    // A reload empties the box first: one removal of all items (there are always some here).
    QObject::connect(box_->model(), &QAbstractItemModel::rowsRemoved, [this](auto&, int First) {
      if (First != 0) return;
      ++reloads_;
      reloadedOnGuiThread_ = QThread::currentThread() == box_->thread();
    });
    QObject::connect(box_.get(), &TskDeviceBox::OnChange, [this] { ++changes_; });
  }
  void TearDown() override {
    box_.reset();
    comm_->SetActive(false);
    platform::Application().SetErrorReport({});
    for (const char* name : {"SK_PORTMAP_DIR", "SK_SYSFS_ROOT", "SK_NO_UDEV"}) ::unsetenv(name);
  }

  std::filesystem::path Ports() const { return scratch_.Path() / "ports"; }
  void AddPort(int N) {
    ttys_[N] = std::make_unique<platform::PseudoTerminal>();
    std::filesystem::create_directories(Ports());
    std::filesystem::create_symlink(ttys_[N]->SlavePath(), Ports() / ("com" + std::to_string(N)));
  }
  void RemovePort(int N) {
    std::filesystem::remove(Ports() / ("com" + std::to_string(N)));
    ttys_.erase(N);
  }
  std::vector<int> ItemPorts() const {
    std::vector<int> ports;
    for (int i = 0; i < box_->count(); ++i)
      ports.push_back(box_->ItemDevice(i) ? box_->ItemDevice(i)->Data : -1);
    return ports;
  }
  // The operator moves the closed list one item down with the keyboard.
  void PickNext() { QTest::keyClick(box_.get(), Qt::Key_Down); }
  static TDeviceChangeMessage Message(std::uintptr_t Code, const platform::DEV_BROADCAST_HDR* H) {
    TDeviceChangeMessage m;
    m.WParam = Code;
    m.LParam = H;
    return m;
  }

  testsupport::ScratchDir scratch_;
  std::map<int, std::unique_ptr<platform::PseudoTerminal>> ttys_;
  TComponent root_;
  WatchedComm* comm_ = &TComponent::Create<WatchedComm>(root_);
  std::unique_ptr<TskDeviceBox> box_ = std::make_unique<TskDeviceBox>();
  std::vector<std::string> errors_;
  int reloads_ = 0;
  int changes_ = 0;
  bool reloadedOnGuiThread_ = false;
};

TEST_F(DeviceBox, BindingListsThePortsInListOrderAndSelectsTheBoundPort) {
  EXPECT_EQ(box_->count(), 0) << "unbound: empty";
  box_->SetskComm(comm_);
  EXPECT_EQ(box_->skComm(), comm_);
  EXPECT_EQ(ItemPorts(), (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(box_->currentIndex(), 1);
  EXPECT_EQ(box_->itemText(1).toStdString(), comm_->Device(1)->NameFriendly);
  EXPECT_FALSE(box_->isEditable()) << "a drop-down list";
  EXPECT_EQ(box_->maxVisibleItems(), 8);

  // A port number that no entry carries selects nothing.
  comm_->SetComPortNo(9);
  EXPECT_EQ(box_->currentIndex(), -1);
  EXPECT_EQ(box_->count(), 3);
}

TEST_F(DeviceBox, PickingAPortReopensTheOpenPortThereAndKeepsItSelected) {
  box_->SetskComm(comm_);
  std::vector<std::int32_t> codes;
  const auto recorder =
      TskNotifyEvent::Bind(&codes, [&](TObject*, std::int32_t c) { codes.push_back(c); });
  comm_->NotifyAdd(recorder);
  comm_->SetActive(true);
  codes.clear();

  PickNext();
  EXPECT_EQ(comm_->ComPortNo(), 4);
  EXPECT_TRUE(comm_->Active()) << "reopened on the new port";
  EXPECT_EQ(comm_->ComName(), "COM4");
  EXPECT_EQ(codes, (std::vector<std::int32_t>{ncPortClosed, ncPortOpened, ncDeviceChanged}));
  EXPECT_EQ(box_->currentIndex(), 2);
  EXPECT_EQ(changes_, 1);
  EXPECT_TRUE(errors_.empty());
  comm_->NotifyDelete(recorder);
}

// To the error report of the component's own application object, not the process's.
TEST_F(DeviceBox, APortThatCannotBeOpenedIsReportedAndTheBoxFollowsThePortNumber) {
  platform::TApplication own;
  std::vector<std::string> reported;
  own.SetErrorReport([&](const std::string& M) { reported.push_back(M); });
  TComponent owner;  // its port goes before the application object it uses
  auto& comm = TComponent::Create<WatchedComm>(owner, own);
  comm.SetEnumPorts(epQuickAll);
  comm.SetComPortNo(3);
  box_->SetskComm(&comm);
  comm.SetActive(true);
  testsupport::ForeignLock held(ttys_[4]->SlavePath(), LOCK_EX);
  PickNext();  // must not throw out of Qt's signal
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("COM4"), std::string::npos) << reported[0];
  EXPECT_TRUE(errors_.empty()) << errors_[0];
  EXPECT_EQ(comm.ComPortNo(), 4);
  EXPECT_EQ(box_->currentIndex(), 2);
  EXPECT_EQ(changes_, 1);
  comm.SetActive(false);
}

TEST_F(DeviceBox, BindingTheSameComponentAgainSubscribesOnce) {
  box_->SetskComm(comm_);
  box_->Reload();
  box_->SetskComm(comm_);
  EXPECT_TRUE(comm_->withdrawn.empty());
  reloads_ = 0;
  comm_->Update();
  EXPECT_EQ(reloads_, 1) << "one notification, one reload";
}

TEST_F(DeviceBox, DeviceChangeReloadsForPortsAndChangedTreesOnly) {
  box_->SetskComm(comm_);
  platform::DEV_BROADCAST_HDR volume{sizeof(platform::DEV_BROADCAST_HDR),
                                     platform::DBT_DEVTYP_VOLUME, 0};
  platform::DEV_BROADCAST_PORT port;
  struct Case {
    TDeviceChangeMessage msg;
    bool handled;
  };
  TDeviceChangeMessage otherMessage = Message(platform::DBT_DEVNODES_CHANGED, nullptr);
  otherMessage.Msg = 0x0400;
  const Case cases[] = {
      {Message(platform::DBT_DEVICEARRIVAL, &volume), false},
      {Message(platform::DBT_DEVICEARRIVAL, &port.Header), true},
      {Message(platform::DBT_DEVICEREMOVECOMPLETE, &port.Header), true},
      {Message(platform::DBT_DEVICEREMOVECOMPLETE, &volume), false},
      {Message(platform::DBT_DEVNODES_CHANGED, nullptr), true},
      {otherMessage, false},
  };
  for (Case c : cases) {
    reloads_ = 0;
    EXPECT_EQ(box_->WMDeviceChange(c.msg), c.handled) << c.msg.WParam;
    EXPECT_EQ(reloads_, c.handled ? 1 : 0) << c.msg.WParam;
  }
}

TEST_F(DeviceBox, ChosenPortRemovedLeavesNothingSelectedAndThePortNumberAsItWas) {
  box_->SetskComm(comm_);
  RemovePort(3);
  platform::DEV_BROADCAST_PORT port;
  auto msg = Message(platform::DBT_DEVICEREMOVECOMPLETE, &port.Header);
  EXPECT_TRUE(box_->WMDeviceChange(msg));
  EXPECT_EQ(ItemPorts(), (std::vector<int>{1, 4}));
  EXPECT_EQ(box_->currentIndex(), -1);
  EXPECT_EQ(comm_->ComPortNo(), 3);
  // It comes back: selected again.
  AddPort(3);
  msg = Message(platform::DBT_DEVICEARRIVAL, &port.Header);
  EXPECT_TRUE(box_->WMDeviceChange(msg));
  EXPECT_EQ(box_->currentIndex(), 1);
}

TEST_F(DeviceBox, DestroyedComponentLeavesTheItemsAndALaterPickOnlyRaisesOnChange) {
  box_->SetskComm(comm_);
  root_.DestroyComponent(comm_);
  EXPECT_EQ(box_->skComm(), nullptr);
  EXPECT_EQ(box_->count(), 3);
  EXPECT_EQ(box_->currentIndex(), -1);
  EXPECT_EQ(box_->ItemDevice(0), nullptr) << "the records went with the component";
  PickNext();
  EXPECT_EQ(changes_, 1);
  auto msg = Message(platform::DBT_DEVNODES_CHANGED, nullptr);
  EXPECT_FALSE(box_->WMDeviceChange(msg)) << "nothing bound";
  comm_ = &TComponent::Create<WatchedComm>(root_);  // for TearDown
}

TEST_F(DeviceBox, DestroyedBoxIsNoLongerNotifiedAndUnbindingClearsIt) {
  box_->SetskComm(comm_);
  const void* first = box_.get();
  box_.reset();
  EXPECT_EQ(comm_->withdrawn, std::vector<const void*>{first});
  comm_->Update();  // would reach a destroyed box if it were still subscribed

  box_ = std::make_unique<TskDeviceBox>();
  box_->SetskComm(comm_);
  box_->SetskComm(nullptr);
  EXPECT_EQ(box_->count(), 0);
  EXPECT_EQ(box_->currentIndex(), -1);
  EXPECT_EQ(comm_->withdrawn.size(), 2u);
  EXPECT_EQ(comm_->withdrawn.back(), box_.get());
}

TEST_F(DeviceBox, ChangeMadeInAnotherThreadReloadsOnTheGuiThread) {
  box_->SetskComm(comm_);
  reloads_ = 0;
  std::thread([this] { comm_->Update(); }).join();
  QElapsedTimer clock;
  clock.start();
  while (reloads_ == 0 && clock.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  EXPECT_EQ(reloads_, 1);
  EXPECT_TRUE(reloadedOnGuiThread_);
}

}  // namespace
}  // namespace sk::widgets
