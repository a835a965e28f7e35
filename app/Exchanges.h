// SPDX-License-Identifier: MIT
// The exchanges with the board, one at a time and in the order asked, without ever blocking the
// message loop: an exchange sends its two command letters and then collects the reply while the
// window goes on painting, switching pages and taking clicks and signals.
//
// The line has no framing, so a reply is framed by time:
// - It ends as soon as it holds the command's reply count, or once the line has been quiet for
//   ReplyGapMs after its last byte. With no byte at all ReplyTimeoutMs after the command went
//   out, the exchange ends with erNoReply.
// - The board speaks only when asked, so bytes that are nobody's reply are dropped: those that
//   arrive while no exchange waits (unasked bytes, a late reply), those present when a command is
//   about to go out, and those beyond the reply count. Whenever such bytes were seen, the next
//   command waits until the line has been quiet for ReplyGapMs, so that the rest of them cannot
//   open its reply.
// - After a time-out the next command waits LateReplyWaitMs for a late reply, and the gap after
//   it if one comes. A command never waits longer than ReplyTimeoutMs for the line to settle; a
//   line that never goes quiet is then talked over.
// - With the port closed (or its device gone) an exchange ends at once with erNotOpen.
//
// Threads: main thread only. Done callbacks run on it, one at a time; a callback may queue
// further exchanges but must not wait in a box of its own (show it later instead), or the
// exchanges queued behind it wait as long.
#pragma once

#include <comm/Commport.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

class TTimer;

enum TExchangeResult { erReply, erNotOpen, erNoReply };
using TExchangeDone = std::function<void(TExchangeResult)>;

// How long an exchange waits for the first byte of a reply.
constexpr unsigned ReplyTimeoutMs = 2000;

// The quiet time that ends a reply short of its reply count, beyond the port's status pause.
// Received bytes reach the port's receive ring at the status monitor's wake-ups, which come up to
// the status pause apart (50 ms by default) while bytes trickle in; so the gap is that pause
// plus this margin. The margin holds a reply whose pieces are up to 150 ms apart on the line: a
// USB adapter's latency timer (16 ms by default, settable to 255 ms) with room for a loaded
// machine to run the monitor late, or a board that pauses inside a reply. It costs a reply that
// never reaches its count (a load's: 3 or 4 bytes of 20) 200 ms at the default pause; a reply
// that reaches its count (a thermometer's) ends at once.
constexpr unsigned ReplyGapMarginMs = 150;

// After a time-out, how long the next command waits for a late reply. A reply later than
// ReplyTimeoutMs + LateReplyWaitMs can no longer be told from the next command's. Four silent
// thermometers then take 4 x 2 s + 3 x 0.4 s = 9.2 s, within the 10 s between polls.
constexpr unsigned LateReplyWaitMs = 400;

class TExchangeQueue {
 public:
  // Replies are read into ReplyBuffer, which outlives the queue.
  TExchangeQueue(TCommPort* Port, char* ReplyBuffer);
  ~TExchangeQueue();
  TExchangeQueue(const TExchangeQueue&) = delete;
  TExchangeQueue& operator=(const TExchangeQueue&) = delete;

  // Queues an exchange: in its turn Command (two bytes) goes out, its reply, at most ReplyCount
  // bytes (at most the reply buffer's size), is read into the reply buffer from its start, and
  // Done runs with the outcome. With Next, it runs before everything already waiting (the
  // following step of a sequence).
  void Exchange(const char* Command, DWORD ReplyCount, TExchangeDone Done, bool Next = false);
  // Queues Action to run in its turn, between two exchanges.
  void Step(std::function<void()> Action, bool Next = false);

  // Whether an exchange is in flight or anything waits for its turn.
  bool Pending() const;
  // Drops everything queued and the exchange in flight; no callback runs.
  void Clear();

  // The port's OnDataReceived: bytes have arrived.
  void DataReceived();
  // The port's device is gone: the exchange in flight (unless part of its reply came, which is
  // then the reply), and those after it until PortOpened, end with erNotOpen.
  void PortLost();
  // The port has been opened again.
  void PortOpened();

  // The quiet gap that ends a reply short of its count, for the port's status pause.
  unsigned ReplyGapMs() const;

 private:
  using TClock = std::chrono::steady_clock;
  enum TPhase { phIdle, phSettling, phAwaiting, phCollecting };
  struct TEntry {
    const char* Command;  // null for a step
    DWORD ReplyCount;
    TExchangeDone Done;
  };

  void Enqueue(TEntry Entry, bool Next);
  void StartNext();
  bool PortReady();
  void SettleThenSend();
  void Send();
  bool TakeReply();
  void Finish(TExchangeResult Result);
  void DropStrayBytes();
  void TimerTick();
  void ArmTimer(TClock::time_point When);

  TCommPort* Port;
  char* ReplyBuffer;
  std::unique_ptr<TTimer> Timer;  // the next deadline of the phase under way
  std::deque<TEntry> Queue;       // its front is in flight while Phase is not phIdle
  TPhase Phase = phIdle;
  bool Dispatching = false;
  bool Lost = false;

  DWORD Collected = 0;                // reply bytes read so far, in flight
  TClock::time_point ReplyDeadline;   // for the first byte of the reply in flight
  TClock::time_point LastReplyByte;   // when the reply in flight last grew
  TClock::time_point QuietUntil;      // the next command goes out no sooner...
  TClock::time_point SettleDeadline;  // ...unless it has waited until this
};
