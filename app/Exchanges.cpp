// SPDX-License-Identifier: MIT
// TExchangeQueue: one exchange with the board at a time, its reply awaited without blocking.
#include "Exchanges.h"

#include <widgets/extctrls.h>

#include <algorithm>

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
    SettleThenSend();
  }
}

// A device that went away counts as closed until the port has been opened again.
bool TExchangeQueue::PortReady() { return Port->GetOpen() && !Lost; }

// Before the command goes out, a reply still owed to an exchange that gave up is let in and
// dropped, so that it cannot be taken for this command's reply.
void TExchangeQueue::SettleThenSend() {
  DropLateBytes();
  if (LateReplyOwed) {
    const auto now = TClock::now();
    const bool quietAfterReply =
        LateBytesSeen && now - LastLateBytes >= std::chrono::milliseconds(LateReplyQuietMs);
    if (!quietAfterReply && now < LateReplyDeadline) {
      Phase = phSettling;
      const auto until = LateBytesSeen
                             ? std::min(LateReplyDeadline,
                                        LastLateBytes + std::chrono::milliseconds(LateReplyQuietMs))
                             : LateReplyDeadline;
      ArmTimer(MsUntil(until, now));
      return;
    }
    LateReplyOwed = false;
  }
  Send();
}

void TExchangeQueue::Send() {
  Phase = phAwaiting;
  Port->PutBlock(Queue.front().Command, 2);
  ReplyDeadline = TClock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
  ArmTimer(ReplyTimeoutMs);
  TakeReply();  // bytes already waiting open the reply
}

void TExchangeQueue::DataReceived() {
  if (Phase == phAwaiting) {
    TakeReply();
  } else if (LateReplyOwed) {
    DropLateBytes();
    if (Phase == phSettling) SettleThenSend();
  }
  // Otherwise the bytes came unasked: they stay and open the next reply.
}

void TExchangeQueue::TakeReply() {
  if (Port->GetBlock(ReplyBuffer, Queue.front().ReplyCount) > 0) Finish(erReply);
}

void TExchangeQueue::TimerTick() {
  if (Phase == phSettling) {
    SettleThenSend();
  } else if (Phase == phAwaiting) {
    TakeReply();
    const auto now = TClock::now();
    if (Phase == phAwaiting && now < ReplyDeadline) {  // timers may run a little early
      ArmTimer(MsUntil(ReplyDeadline, now));
    } else if (Phase == phAwaiting) {
      LateReplyOwed = true;
      LateBytesSeen = false;
      LateReplyDeadline = TClock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
      Finish(erNoReply);
    }
  }
}

void TExchangeQueue::Finish(TExchangeResult Result) {
  Timer->SetEnabled(false);
  Phase = phIdle;
  TEntry entry = std::move(Queue.front());
  Queue.pop_front();
  entry.Done(Result);
  StartNext();
}

void TExchangeQueue::PortLost() {
  Lost = true;
  LateReplyOwed = false;
  if (Phase != phIdle) Finish(erNotOpen);
}

void TExchangeQueue::PortOpened() { Lost = false; }

void TExchangeQueue::DropLateBytes() {
  if (!LateReplyOwed) return;
  char scrap[64];
  while (Port->GetBlock(scrap, sizeof scrap) > 0) {
    LateBytesSeen = true;
    LastLateBytes = TClock::now();
  }
}

unsigned TExchangeQueue::MsUntil(TClock::time_point When, TClock::time_point Now) {
  return static_cast<unsigned>(std::chrono::ceil<std::chrono::milliseconds>(When - Now).count());
}

void TExchangeQueue::ArmTimer(unsigned Ms) {
  Timer->SetInterval(std::max(Ms, 1u));
  Timer->SetEnabled(true);
}
