#pragma once
// The component framework the library stands on: objects with an owner that destroys them,
// removal notification between components that link to each other, and a loading state in
// which settings are stored without effect until Loaded().
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "serialkit/core/event.h"
#include "serialkit/core/exception.h"

namespace sk {

class TObject {
 public:
  virtual ~TObject() = default;
};

// Base of everything whose settings can be copied from another object of a fitting kind.
class TPersistent : public TObject {
 public:
  // Copies from Source; a source of a kind this object does not know fails with an Exception.
  virtual void Assign(const TPersistent& Source);
  virtual std::string ClassName() const { return "TPersistent"; }
};

enum class TOperation { opInsert, opRemove };

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csDesigning = 1u << 1,
  csDestroying = 1u << 2,
};

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Creates a component owned by AOwner; the owner destroys it (last created, first destroyed).
  template <class T, class... A>
  static T& Create(TComponent& AOwner, A&&... args) {
    auto made = std::make_unique<T>(&AOwner, std::forward<A>(args)...);
    T& ref = *made;
    AOwner.InsertComponent(std::move(made));
    return ref;
  }

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string Value) { name_ = std::move(Value); }
  unsigned ComponentState() const { return state_; }
  bool IsLoading() const { return (state_ & csLoading) != 0; }
  bool IsDesigning() const { return (state_ & csDesigning) != 0; }
  bool IsDestroying() const { return (state_ & csDestroying) != 0; }
  std::string ClassName() const override { return "TComponent"; }

  std::size_t ComponentCount() const { return components_.size(); }
  TComponent* Components(std::size_t Index) const { return components_.at(Index).get(); }

  // Loading as the owning window does it: settings set in between are only recorded.
  void BeginLoading();
  void EndLoading();  // clears the loading state, then calls Loaded()
  void SetDesigning(bool Value);

  // Ask to be told (Notification with opRemove) when AComponent is destroyed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Destroys an owned component now.
  void DestroyComponent(TComponent* AComponent);

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  virtual void Loaded();
  // Marks the component as destroying and tells every subscriber. Derived destructors that
  // must have their links dropped before they tear down call it first; calling it twice is
  // harmless.
  void BeginDestroy();

 private:
  void InsertComponent(std::unique_ptr<TComponent> AComponent);
  std::unique_ptr<TComponent> RemoveComponent(TComponent* AComponent);

  TComponent* owner_ = nullptr;
  std::string name_;
  // Read by worker threads of components (whether a port is loading), hence atomic.
  std::atomic<unsigned> state_{0};
  bool notifiedRemoval_ = false;
  std::vector<std::unique_ptr<TComponent>> components_;
  std::vector<TComponent*> freeNotifies_;
};

}  // namespace sk
