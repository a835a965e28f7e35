// SPDX-License-Identifier: MIT
// The exchanges with the board, one at a time and in the order asked, without ever blocking the
// message loop: an exchange sends its two command letters and then waits for the first bytes of
// the reply while the window goes on painting, switching pages and taking clicks and signals.
//
// - A reply is taken as soon as the port says that bytes have arrived (DataReceived), at most
//   ReplyTimeoutMs after the command went out; the exchange then ends with erReply or erNoReply.
// - Bytes that come after an exchange gave up belong to it: they are dropped, and the next command
//   goes out only once that late reply has come and the line has been quiet for a moment (or,
//   for a board that stays silent, once it could no longer be expected).
// - Bytes beyond what an answered exchange took stay in the port and open the next reply.
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

// How long an exchange waits for the first bytes of a reply.
constexpr unsigned ReplyTimeoutMs = 2000;
// How long the line must stay quiet before a late reply counts as complete.
constexpr unsigned LateReplyQuietMs = 200;

class TExchangeQueue {
 public:
  // Replies are read into ReplyBuffer, which outlives the queue.
  TExchangeQueue(TCommPort* Port, char* ReplyBuffer);
  ~TExchangeQueue();
  TExchangeQueue(const TExchangeQueue&) = delete;
  TExchangeQueue& operator=(const TExchangeQueue&) = delete;

  // Queues an exchange: in its turn Command (two bytes) goes out, the first bytes of the reply,
  // at most ReplyCount, are read into the reply buffer, and Done runs with the outcome. With
  // Next, it runs before everything already waiting (the following step of a sequence).
  void Exchange(const char* Command, DWORD ReplyCount, TExchangeDone Done, bool Next = false);
  // Queues Action to run in its turn, between two exchanges.
  void Step(std::function<void()> Action, bool Next = false);

  // Whether an exchange is in flight or anything waits for its turn.
  bool Pending() const;
  // Drops everything queued and the exchange in flight; no callback runs.
  void Clear();

  // The port's OnDataReceived: bytes have arrived.
  void DataReceived();
  // The port's device is gone: the exchange in flight, and those after it until PortOpened,
  // end with erNotOpen.
  void PortLost();
  // The port has been opened again.
  void PortOpened();

 private:
  using TClock = std::chrono::steady_clock;
  enum TPhase { phIdle, phSettling, phAwaiting };
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
  void TakeReply();
  void Finish(TExchangeResult Result);
  void DropLateBytes();
  void TimerTick();
  void ArmTimer(unsigned Ms);
  static unsigned MsUntil(TClock::time_point When, TClock::time_point Now);

  TCommPort* Port;
  char* ReplyBuffer;
  std::unique_ptr<TTimer> Timer;  // the reply's time limit, and the wait for a late reply
  std::deque<TEntry> Queue;       // its front is in flight while Phase is not phIdle
  TPhase Phase = phIdle;
  TClock::time_point ReplyDeadline;  // of the exchange in flight
  bool Dispatching = false;
  bool Lost = false;

  // The late reply of the last exchange that gave up, if one may still come.
  bool LateReplyOwed = false;
  TClock::time_point LateReplyDeadline;
  bool LateBytesSeen = false;
  TClock::time_point LastLateBytes;
};
