// SPDX-License-Identifier: GPL-3.0-or-later
#include "framework/Classes.h"

#include <algorithm>

#include "framework/Exceptions.h"

void TPersistent::Assign(const TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  throw EConvertError(FormatMessage("Cannot assign a %s to a %s", "nil", ClassName().c_str()));
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  throw EConvertError(
      FormatMessage("Cannot assign a %s to a %s", ClassName().c_str(), Dest->ClassName().c_str()));
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  BeginDestroy();
  // Tell everyone holding a reference to this component.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& theirs = other->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, opRemove);
  }
  // Free the owned components, last created first.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    child->BeginDestroy();
    delete child;  // its destructor removes it from components_
  }
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::BeginDestroy() { state_ |= csDestroying; }

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end())
    freeNotifies_.push_back(AComponent);
  auto& theirs = AComponent->freeNotifies_;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), AComponent),
                      freeNotifies_.end());
  auto& theirs = AComponent->freeNotifies_;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  components_.push_back(AComponent);
  AComponent->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  components_.erase(std::remove(components_.begin(), components_.end(), AComponent),
                    components_.end());
  AComponent->owner_ = nullptr;
  Notification(AComponent, opRemove);
}
