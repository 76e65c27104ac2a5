// SPDX-License-Identifier: GPL-3.0-or-later
// Objects, persistent objects and components: owner frees, removal notice, end of loading.
#pragma once

#include <string>
#include <vector>

class TObject {
 public:
  virtual ~TObject() = default;
  // The class name, as used in "Cannot assign a %s to a %s".
  virtual std::string ClassName() const { return "TObject"; }
};

class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  // Copies Source into this object; an unsupported source raises
  // "Cannot assign a %s to a %s" (source class, then this class).
  virtual void Assign(const TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest) const;
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag { csLoading = 1, csDestroying = 2, csDesigning = 4 };

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  const std::vector<TComponent*>& Components() const { return components_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& Name) { name_ = Name; }
  int ComponentState() const { return state_; }
  bool Destroying() const { return (state_ & csDestroying) != 0; }

  // Asks to be told (Notification with opRemove) when AComponent is freed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Marks the component as being destroyed. Derived destructors call it first, so that
  // their own teardown can see the state.
  void BeginDestroy();

  // The end-of-loading step, after the owner has set the properties from its form data.
  virtual void Loaded() { state_ &= ~csLoading; }

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  std::string name_;
  int state_ = 0;
};
