#include "serialkit/core/component.h"

#include <algorithm>

namespace sk {

void TPersistent::Assign(const TPersistent& Source) {
  throw Exception("Cannot assign a " + Source.ClassName() + " to a " + ClassName());
}

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {}

TComponent::~TComponent() {
  BeginDestroy();
  while (!components_.empty()) {
    std::unique_ptr<TComponent> last = std::move(components_.back());
    components_.pop_back();
    last.reset();
  }
}

void TComponent::BeginDestroy() {
  state_ |= csDestroying;
  if (notifiedRemoval_) return;
  notifiedRemoval_ = true;
  // Each subscriber drops its link to us; a subscriber may unsubscribe others meanwhile.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& back = other->freeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, TOperation::opRemove);
  }
  if (owner_ != nullptr && !owner_->IsDestroying()) owner_->Notification(this, TOperation::opRemove);
}

void TComponent::BeginLoading() { state_ |= csLoading; }

void TComponent::EndLoading() {
  if (!IsLoading()) return;
  state_ &= ~csLoading;
  Loaded();
}

void TComponent::SetDesigning(bool Value) {
  if (Value)
    state_ |= csDesigning;
  else
    state_ &= ~csDesigning;
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  // Both sides remember each other so that whichever goes first tells the other.
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end())
    freeNotifies_.push_back(AComponent);
  auto& theirs = AComponent->freeNotifies_;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), AComponent),
                      freeNotifies_.end());
  auto& theirs = AComponent->freeNotifies_;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::DestroyComponent(TComponent* AComponent) { RemoveComponent(AComponent).reset(); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove && AComponent != nullptr) {
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), AComponent),
                        freeNotifies_.end());
  }
}

void TComponent::Loaded() {}

void TComponent::InsertComponent(std::unique_ptr<TComponent> AComponent) {
  AComponent->owner_ = this;
  TComponent* raw = AComponent.get();
  components_.push_back(std::move(AComponent));
  Notification(raw, TOperation::opInsert);
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* AComponent) {
  auto it = std::find_if(components_.begin(), components_.end(),
                         [&](const auto& c) { return c.get() == AComponent; });
  if (it == components_.end()) throw Exception("Component is not owned by " + name_);
  std::unique_ptr<TComponent> taken = std::move(*it);
  components_.erase(it);
  return taken;
}

}  // namespace sk
