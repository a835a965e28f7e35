// SPDX-License-Identifier: MIT
// TExchangeQueue: one exchange with the board at a time, its reply framed by time and awaited
// without blocking.
#include "Exchanges.h"

#include <widgets/extctrls.h>

#include <algorithm>

namespace {

using std::chrono::milliseconds;
using TClock = std::chrono::steady_clock;

// Timers count whole milliseconds: a tick less than one before its deadline is on time.
bool Due(TClock::time_point When, TClock::time_point Now) { return When - Now < milliseconds(1); }

}  // namespace

TExchangeQueue::TExchangeQueue(TCommPort* APort, char* AReplyBuffer)
    : Port(APort), ReplyBuffer(AReplyBuffer), Timer(std::make_unique<TTimer>(nullptr)) {
  Timer->SetEnabled(false);
  Timer->OnTimer = [this](TObject*) { TimerTick(); };
}

TExchangeQueue::~TExchangeQueue() = default;

void TExchangeQueue::Exchange(const char* Command, DWORD ReplyCount, TExchangeDone Done,
                              bool Next) {
  Enqueue({Command, ReplyCount, std::move(Done)}, Next);
}

void TExchangeQueue::Step(std::function<void()> Action, bool Next) {
  Enqueue({nullptr, 0, [Action = std::move(Action)](TExchangeResult) { Action(); }}, Next);
}

bool TExchangeQueue::Pending() const { return !Queue.empty(); }

void TExchangeQueue::Clear() {
  Timer->SetEnabled(false);
  Queue.clear();
  Phase = phIdle;
}

unsigned TExchangeQueue::ReplyGapMs() const { return Port->GetStatusPause() + ReplyGapMarginMs; }

void TExchangeQueue::Enqueue(TEntry Entry, bool Next) {
  // While an exchange is in flight it stays at the front: "next" goes right behind it.
  const auto place = Next && Phase != phIdle ? Queue.begin() + 1
                     : Next                  ? Queue.begin()
                                             : Queue.end();
  Queue.insert(place, std::move(Entry));
  StartNext();
}

// Runs the steps at the front and starts the first exchange behind them. Callbacks that queue
// more while this runs only add to the queue; the loop below picks their entries up.
void TExchangeQueue::StartNext() {
  if (Dispatching) return;
  Dispatching = true;
  struct TEndDispatch {
    bool& Flag;
    ~TEndDispatch() { Flag = false; }
  } endDispatch{Dispatching};

  while (Phase == phIdle && !Queue.empty()) {
    if (Queue.front().Command == nullptr || !PortReady()) {
      TEntry entry = std::move(Queue.front());
      Queue.pop_front();
      entry.Done(entry.Command == nullptr ? erReply : erNotOpen);
      continue;
    }
    SettleDeadline = TClock::now() + milliseconds(ReplyTimeoutMs);
    SettleThenSend();
  }
}

// A device that went away counts as closed until the port has been opened again.
bool TExchangeQueue::PortReady() { return Port->GetOpen() && !Lost; }

// The command goes out once the line has settled: bytes still there are dropped, and while
// stray bytes or a late reply may still be on their way, the command waits for them.
void TExchangeQueue::SettleThenSend() {
  DropStrayBytes();
  const auto now = TClock::now();
  if (!Due(QuietUntil, now) && !Due(SettleDeadline, now)) {
    Phase = phSettling;
    ArmTimer(std::min(QuietUntil, SettleDeadline));
    return;
  }
  Send();
}

void TExchangeQueue::Send() {
  Phase = phAwaiting;
  Collected = 0;
  Port->PutBlock(Queue.front().Command, 2);
  ReplyDeadline = TClock::now() + milliseconds(ReplyTimeoutMs);
  ArmTimer(ReplyDeadline);
}

void TExchangeQueue::DataReceived() {
  switch (Phase) {
    case phAwaiting:
    case phCollecting:
      TakeReply();
      break;
    case phSettling:
      SettleThenSend();
      break;
    case phIdle:
      DropStrayBytes();  // nobody asked for them
      break;
  }
}

// Reads what has arrived of the reply in flight behind what it already holds; true when that
// ended the exchange (the reply reached its count).
bool TExchangeQueue::TakeReply() {
  const DWORD count = Queue.front().ReplyCount;
  const DWORD read = Port->GetBlock(ReplyBuffer + Collected, count - Collected);
  if (read == 0) return false;
  Collected += read;
  LastReplyByte = TClock::now();
  if (Collected == count) {
    Finish(erReply);
    return true;
  }
  Phase = phCollecting;
  ArmTimer(LastReplyByte + milliseconds(ReplyGapMs()));
  return false;
}

void TExchangeQueue::TimerTick() {
  if (Phase == phSettling) {
    SettleThenSend();
    return;
  }
  if (Phase == phIdle || TakeReply()) return;
  const auto now = TClock::now();
  const auto due = Phase == phAwaiting ? ReplyDeadline : LastReplyByte + milliseconds(ReplyGapMs());
  if (!Due(due, now)) {
    ArmTimer(due);
  } else if (Phase == phCollecting) {
    Finish(erReply);  // the line has been quiet for the gap: the reply is whole
  } else {
    QuietUntil = std::max(QuietUntil, now + milliseconds(LateReplyWaitMs));
    Finish(erNoReply);
  }
}

void TExchangeQueue::Finish(TExchangeResult Result) {
  Timer->SetEnabled(false);
  Phase = phIdle;
  if (Result == erReply) DropStrayBytes();  // beyond the reply count
  TEntry entry = std::move(Queue.front());
  Queue.pop_front();
  entry.Done(Result);
  StartNext();
}

void TExchangeQueue::PortLost() {
  Lost = true;
  QuietUntil = {};  // a port opened again starts with an empty line
  // A reply under way can grow no more: what came of it is the whole reply.
  if (Phase == phCollecting) Finish(erReply);
  if (Phase != phIdle) Finish(erNotOpen);
}

void TExchangeQueue::PortOpened() { Lost = false; }

// Drops what the port holds; if there was anything, more may follow, so the next command waits
// until the line has been quiet for the gap.
void TExchangeQueue::DropStrayBytes() {
  char scrap[64];
  bool dropped = false;
  while (Port->GetBlock(scrap, sizeof scrap) > 0) dropped = true;
  if (dropped) QuietUntil = std::max(QuietUntil, TClock::now() + milliseconds(ReplyGapMs()));
}

// Set to the whole milliseconds before When: the timer fires a little late, and a tick less than
// one millisecond early is on time (see Due).
void TExchangeQueue::ArmTimer(TClock::time_point When) {
  const auto ms = std::chrono::floor<milliseconds>(When - TClock::now()).count();
  Timer->SetEnabled(false);
  Timer->SetInterval(static_cast<unsigned>(std::max<decltype(ms)>(ms, 1)));
  Timer->SetEnabled(true);
}
