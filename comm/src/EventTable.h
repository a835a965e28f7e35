// SPDX-License-Identifier: MIT
// The one table of TEventState: each event's device bit (EV_*) and the name stored forms use,
// in ordinal order. Compile-time checks bind it to the enumeration. Constant data, any thread.
#pragma once

#include <comm/Commport.h>
#include <win32/win32.h>

#include <cstddef>
#include <iterator>

struct TEventInfo {
  TEventState Event;
  DWORD DeviceBit;
  const char* Name;
};

inline constexpr TEventInfo EventTable[] = {{evRxChar, EV_RXCHAR, "evRxChar"},
                                            {evRxEventChar, EV_RXFLAG, "evRxEventChar"},
                                            {evTxEmpty, EV_TXEMPTY, "evTxEmpty"},
                                            {evCTS, EV_CTS, "evCTS"},
                                            {evDSR, EV_DSR, "evDSR"},
                                            {evRlsd, EV_RLSD, "evRlsd"},
                                            {evBreak, EV_BREAK, "evBreak"},
                                            {evError, EV_ERR, "evError"},
                                            {evRing, EV_RING, "evRing"}};

// True when each entry of Table stands for the ordinal of its index (Key names the entry's
// enumerator member).
template <class Entry, std::size_t N, class Enum>
constexpr bool InOrdinalOrder(const Entry (&Table)[N], Enum Entry::*Key) {
  for (std::size_t Index = 0; Index < N; ++Index)
    if (static_cast<std::size_t>(Table[Index].*Key) != Index) return false;
  return true;
}

static_assert(std::size(EventTable) == evRing + 1u, "one entry per TEventState");
static_assert(InOrdinalOrder(EventTable, &TEventInfo::Event), "entries in ordinal order");
// A set holds every event in its 16 bits.
static_assert(std::size(EventTable) <= sizeof(TEventStates) * 8);
