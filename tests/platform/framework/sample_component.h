// SPDX-License-Identifier: MIT
// A component class with every kind of published property, used by the framework tests.
#pragma once

#include <framework/classes.h>

#include <atomic>
#include <string>
#include <vector>

enum TShade : unsigned char { shRed, shGreen, shBlue };
enum TOption : unsigned char {
  opBold,
  opItalic,
  opUnder,
  opStrike,
  opBlink,
  opDim,
  opWide,
  opTall,
  opLast
};

class TSample : public TComponent {
 public:
  explicit TSample(TComponent* AOwner) : TComponent(AOwner) {}
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  int GetCount() const { return FCount; }
  void SetCount(int Value) {
    FCount = Value;
    Log.push_back("Count=" + std::to_string(Value));
  }
  bool GetActive() const { return FActive; }
  void SetActive(bool Value) {
    FActive = Value;
    Log.push_back(std::string("Active=") + (Value ? "1" : "0"));
  }
  unsigned GetInSize() { return FInSize; }  // a non-const getter
  void SetInSize(unsigned Value) { FInSize = Value; }
  unsigned GetFree() const { return 1000 - FInSize; }
  TShade GetShade() const { return FShade; }
  void SetShade(TShade Value) { FShade = Value; }
  void SetText(const std::string& Value) { FText = Value; }
  void SetLimit(unsigned short Value) { FLimit = Value; }
  void Clicked(TObject* Sender) {
    LastSender = Sender;
    ++Clicks;
  }
  void Received(TObject* /*Sender*/, unsigned Count) { Received_ += Count; }
  void Loaded() override {
    TComponent::Loaded();
    LoadedCalls++;
  }
  // Visual nesting, as a control inside a panel would have.
  TComponent* GetParentComponent() const override { return FParent; }
  void SetParentComponent(TComponent* Parent) override { FParent = Parent; }

  // Fields read and written directly.
  signed char FSmall = 0;
  unsigned char FByte = 0;
  unsigned short FOptions = 0;     // set of TOption in 16 bits
  unsigned char FFlags8 = 0;       // set in 8 bits
  std::atomic<bool> FLine{false};  // read-only, atomic field
  std::atomic<TShade> FAtomicShade{shRed};
  char FLetter = 0;
  std::string FText;
  unsigned short FLimit = 0;
  TStringItems FLines;
  TNotifyEvent OnClick;
  TBoundHandler<TObject*, unsigned> OnData;

  std::vector<std::string> Log;
  TObject* LastSender = nullptr;
  int Clicks = 0;
  int LoadedCalls = 0;
  TComponent* FParent = nullptr;
  unsigned Received_ = 0;

 private:
  int FCount = 0;
  bool FActive = false;
  unsigned FInSize = 0;
  TShade FShade = shRed;
};

// A subclass adding one property, to check inherited properties come first.
class TSampleChild : public TSample {
 public:
  explicit TSampleChild(TComponent* AOwner) : TSample(AOwner) {}
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  int FExtra = 0;
};
