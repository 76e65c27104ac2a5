// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "framework/Classes.h"
#include "framework/Exceptions.h"

namespace {

// A component that records its destruction and the removal notices it receives.
class Probe : public TComponent {
 public:
  Probe(TComponent* Owner, std::vector<std::string>* Log, std::string Tag)
      : TComponent(Owner), log_(Log), tag_(std::move(Tag)) {}
  ~Probe() override { log_->push_back("free " + tag_); }
  TComponent* Ref = nullptr;
  void Hold(TComponent* Other) {
    Ref = Other;
    Other->FreeNotification(this);
  }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == Ref) {
      log_->push_back(tag_ + " lost its reference");
      Ref = nullptr;
    }
  }

 private:
  std::vector<std::string>* log_;
  std::string tag_;
};

class Settings : public TPersistent {
 public:
  std::string ClassName() const override { return "TSettings"; }
};
class Other : public TPersistent {
 public:
  std::string ClassName() const override { return "TOther"; }
};

}  // namespace

TEST(Components, OwnerFreesWhatItOwnsLastFirst) {
  std::vector<std::string> log;
  auto* root = new Probe(nullptr, &log, "root");
  new Probe(root, &log, "first");
  new Probe(root, &log, "second");
  EXPECT_EQ(root->Components().size(), 2u);
  delete root;
  EXPECT_EQ(log, (std::vector<std::string>{"free root", "free second", "free first"}));
}

TEST(Components, RemovalNoticeClearsEveryReferenceAndEndsWithTheHolder) {
  std::vector<std::string> log;
  Probe holderA(nullptr, &log, "a");
  Probe holderB(nullptr, &log, "b");
  {
    auto* port = new Probe(nullptr, &log, "port");
    holderA.Hold(port);
    holderB.Hold(port);
    delete port;
  }
  EXPECT_EQ(holderA.Ref, nullptr);
  EXPECT_EQ(holderB.Ref, nullptr);
  // A holder that goes first is forgotten: freeing the target afterwards notifies nobody.
  auto* target = new Probe(nullptr, &log, "target");
  {
    Probe shortLived(nullptr, &log, "short");
    shortLived.Hold(target);
  }
  log.clear();
  delete target;
  EXPECT_EQ(log, (std::vector<std::string>{"free target"}));
}

TEST(Components, UnsupportedAssignNamesSourceThenTarget) {
  Settings target;
  Other source;
  try {
    target.Assign(&source);
    FAIL() << "Assign from an unrelated class must raise";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TOther to a TSettings");
  }
}
