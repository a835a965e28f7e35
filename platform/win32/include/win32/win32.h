// SPDX-License-Identifier: MIT
/// @file
/// The subset of the Win32 API that the serial component is written against.
///
/// On Windows this header is <windows.h>, with the macros that would rename our own names taken
/// back (win32/windows_names.h); include it before any other header that includes <windows.h>.
/// Elsewhere the same names, types, values and meanings are provided by our own implementation
/// (platform/win32 and platform/serial), so that the component source is identical on both.
///
/// Threads: every call may be made from any thread. The calls on one device handle are
/// serialised by its driver; GetLastError and SetLastError keep one value per thread.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef NOMB
#define NOMB  // the framework's MessageBoxA is the one in use (framework/application.h)
#endif
#include <windows.h>

/// After <windows.h>: takes back the macros that would rename our names.
#include <win32/windows_names.h>

#else

#include <win32/export.h>

#include <cstddef>
#include <cstdint>

// ---- Basic types --------------------------------------------------------------------------------

/// @name Basic types
/// The Win32 integer, pointer and handle types with Windows' sizes: BYTE, WORD, DWORD and LONG are
/// 8, 16, 32 and 32 bits, BOOL an int (FALSE 0, anything else true), ULONG_PTR as wide as a
/// pointer. HANDLE and HWND are opaque pointers (a handle is valid until CloseHandle); an LP or
/// LPC name is a pointer (to const) to the type it names. WCHAR is wchar_t, 32 bits on Linux where
/// Windows has 16.
///@{
/// A truth value: FALSE (0) or anything else for true.
using BOOL = int;
/// 8 bits, unsigned.
using BYTE = std::uint8_t;
/// 16 bits, unsigned.
using WORD = std::uint16_t;
/// 32 bits, unsigned.
using DWORD = std::uint32_t;
/// 32 bits, signed.
using LONG = std::int32_t;
/// unsigned int.
using UINT = unsigned int;
/// An unsigned integer as wide as a pointer.
using ULONG_PTR = std::uintptr_t;
/// An event or a device handle: opaque, valid until CloseHandle.
using HANDLE = void*;
/// A window handle (only passed through: MessageBoxA ignores it).
using HWND = void*;
/// void*.
using LPVOID = void*;
/// const void*.
using LPCVOID = const void*;
/// char* (a zero-terminated text).
using LPSTR = char*;
/// const char* (a zero-terminated text).
using LPCSTR = const char*;
/// DWORD*.
using LPDWORD = DWORD*;
/// BOOL*.
using LPBOOL = BOOL*;
/// A wide character: wchar_t, 32 bits here, 16 on Windows.
using WCHAR = wchar_t;
///@}

/// The largest DWORD, 0xFFFFFFFF.
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

#ifndef TRUE
/// BOOL true as the calls return it (any nonzero value is true).
#define TRUE 1
#endif
#ifndef FALSE
/// BOOL false: the calls' result on failure.
#define FALSE 0
#endif

/// CreateFileA's result on failure (all bits set), never a valid handle.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

/// Security attributes of a new object. CreateEventA and CreateFileA accept them for Windows'
/// signatures and ignore them here: pass null.
struct SECURITY_ATTRIBUTES {
  /// @name Fields as on Windows (ignored here)
  ///@{
  /// sizeof(SECURITY_ATTRIBUTES).
  DWORD nLength;
  /// A security descriptor (ignored).
  LPVOID lpSecurityDescriptor;
  /// Whether child processes inherit the handle (ignored).
  BOOL bInheritHandle;
  ///@}
};
/// Pointer to SECURITY_ATTRIBUTES.
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// ---- Error codes --------------------------------------------------------------------------------

/// @name Error codes
/// The values GetLastError() returns, with Windows' numbers and meanings; SysErrorMessage()
/// (framework/sysutils.h) gives their text. Those the serial layer sets on Linux: 2 no such
/// device (or a COM number that resolves to none), 5 no permission, 32 the device is open
/// elsewhere, 87 a bad argument, 6 a handle that is not open, 50 a call the device does not
/// support (a pty's modem lines), 995 an operation cancelled or aborted, 996 and 997 an
/// overlapped operation still running, 1167 the device went away (a pty's far end closed, a USB
/// adapter pulled).
///@{
/// 0: no error.
constexpr DWORD ERROR_SUCCESS = 0;
/// 1: a function the handle does not support.
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
/// 2: no such device (a COM number that reaches none included).
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
/// 3: a path whose folder does not exist.
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
/// 4: the process has no descriptor left.
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
/// 5: no permission to open the device (on Linux, membership of the group dialout).
constexpr DWORD ERROR_ACCESS_DENIED = 5;
/// 6: a handle that is not open.
constexpr DWORD ERROR_INVALID_HANDLE = 6;
/// 8: memory or a thread could not be had.
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
/// 22: the device does not know the request.
constexpr DWORD ERROR_BAD_COMMAND = 22;
/// 31: the device failed the request.
constexpr DWORD ERROR_GEN_FAILURE = 31;
/// 32: the device is open elsewhere.
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
/// 50: the device lacks the function (a pty has no modem lines).
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
/// 87: an argument out of range or null.
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
/// 109: the far end of the line has closed.
constexpr DWORD ERROR_BROKEN_PIPE = 109;
/// 122: the buffer given is too small.
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
/// 123: a device name that is not well formed.
constexpr DWORD ERROR_INVALID_NAME = 123;
/// 161: a path that is not well formed.
constexpr DWORD ERROR_BAD_PATHNAME = 161;
/// 995: the operation was cancelled (CancelIo, PurgeComm, CloseHandle).
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
/// 996: GetOverlappedResult without waiting on an operation still running.
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
/// 997: the overlapped operation has started and completes later.
constexpr DWORD ERROR_IO_PENDING = 997;
/// 998: a buffer that cannot be used.
constexpr DWORD ERROR_NOACCESS = 998;
/// 1121: a write time-out (COMMTIMEOUTS) passed.
constexpr DWORD ERROR_COUNTER_TIMEOUT = 1121;
/// 1167: the device went away (a pty's far end closed, a USB adapter pulled).
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
/// 1168: CancelIoEx found no matching operation.
constexpr DWORD ERROR_NOT_FOUND = 1168;
/// 1617: the device was removed.
constexpr DWORD ERROR_DEVICE_REMOVED = 1617;
///@}

// ---- Waiting ------------------------------------------------------------------------------------

/// @name Waiting
/// WaitForSingleObject's time-out that never ends (INFINITE, also a millisecond count for
/// Sleep) and its results: the object was signalled, abandoned (not used here), the time-out
/// passed, or the call failed (GetLastError says why).
///@{
/// A wait without time-out.
constexpr DWORD INFINITE = 0xFFFFFFFF;
/// The object was signalled.
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
/// An abandoned mutex (never returned here: there are no mutex handles).
constexpr DWORD WAIT_ABANDONED = 0x00000080;
/// The time-out passed.
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
/// The wait failed; GetLastError() says why.
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
///@}

// ---- File access --------------------------------------------------------------------------------

/// @name File access
/// CreateFileA's access rights, creation dispositions and flags, with Windows' values. Here a
/// serial device is always opened for reading and writing, exclusively, as it exists; only
/// FILE_FLAG_OVERLAPPED changes anything: on such a handle ReadFile, WriteFile and WaitCommEvent
/// need an OVERLAPPED and may complete later.
///@{
/// Read access.
constexpr DWORD GENERIC_READ = 0x80000000;
/// Write access.
constexpr DWORD GENERIC_WRITE = 0x40000000;
/// Create; fail when it exists.
constexpr DWORD CREATE_NEW = 1;
/// Create or truncate.
constexpr DWORD CREATE_ALWAYS = 2;
/// Open only what exists (the one used for devices).
constexpr DWORD OPEN_EXISTING = 3;
/// Open, or create when missing.
constexpr DWORD OPEN_ALWAYS = 4;
/// Open and truncate what exists.
constexpr DWORD TRUNCATE_EXISTING = 5;
/// No particular attribute.
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
/// Overlapped (asynchronous) I/O on the handle.
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
///@}

// ---- Serial devices -----------------------------------------------------------------------------

/// Device-control block. The flag word (the 32 bits after BaudRate) is laid out bit for bit as
/// on Windows, so that e.g. 0x0001, 0x1311 and 0x202D mean the same flags here as there.
struct DCB {
  /// @name Fields as on Windows
  /// DCBlength is sizeof(DCB); BaudRate is in bit/s; the one-bit flags and the DTR_CONTROL_ and
  /// RTS_CONTROL_ modes follow; XonLim and XoffLim are byte counts of the input queue (send XON
  /// at or below XonLim bytes, XOFF when fewer than XoffLim are free); ByteSize is 5 to 8 data
  /// bits; Parity and StopBits take the constants below; XonChar, XoffChar, ErrorChar, EofChar
  /// and EvtChar are the special characters (EvtChar raises EV_RXFLAG). The reserved words are 0.
  ///@{
  /// sizeof(DCB).
  DWORD DCBlength;
  /// Line speed in bit/s (CBR_ values or any number).
  DWORD BaudRate;
  /// Binary mode; always 1.
  DWORD fBinary : 1;
  /// Check parity on receive.
  DWORD fParity : 1;
  /// Hold output while CTS is off.
  DWORD fOutxCtsFlow : 1;
  /// Hold output while DSR is off.
  DWORD fOutxDsrFlow : 1;
  /// DTR mode (DTR_CONTROL_).
  DWORD fDtrControl : 2;
  /// Ignore bytes received while DSR is off.
  DWORD fDsrSensitivity : 1;
  /// Keep sending after XOFF was sent.
  DWORD fTXContinueOnXoff : 1;
  /// Stop output on XOFF received, resume on XON.
  DWORD fOutX : 1;
  /// Send XOFF and XON as the input queue fills and empties.
  DWORD fInX : 1;
  /// Replace bytes with parity errors by ErrorChar.
  DWORD fErrorChar : 1;
  /// Drop zero bytes received.
  DWORD fNull : 1;
  /// RTS mode (RTS_CONTROL_).
  DWORD fRtsControl : 2;
  /// Abort transfers on a line error until ClearCommError.
  DWORD fAbortOnError : 1;
  /// Reserved, 0.
  DWORD fDummy2 : 17;
  /// Reserved, 0.
  WORD wReserved;
  /// Send XON when the input queue holds no more than this many bytes.
  WORD XonLim;
  /// Send XOFF when fewer than this many bytes of the input queue are free.
  WORD XoffLim;
  /// Data bits, 5 to 8.
  BYTE ByteSize;
  /// Parity code (NOPARITY ... SPACEPARITY).
  BYTE Parity;
  /// Stop-bit code (ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS).
  BYTE StopBits;
  /// The XON character.
  char XonChar;
  /// The XOFF character.
  char XoffChar;
  /// Replaces bytes with parity errors (fErrorChar).
  char ErrorChar;
  /// The end-of-data character.
  char EofChar;
  /// The event character: its arrival raises EV_RXFLAG.
  char EvtChar;
  /// Reserved, 0.
  WORD wReserved1;
  ///@}
};
/// Pointer to DCB.
using LPDCB = DCB*;

/// @name DCB modes and codes
/// The DCB's DTR and RTS modes (off, on, handshake, RTS on while sending), its Parity codes
/// (none, odd, even, mark, space) and StopBits codes (1, 1.5, 2), with Windows' values.
///@{
/// DTR off.
constexpr DWORD DTR_CONTROL_DISABLE = 0;
/// DTR on.
constexpr DWORD DTR_CONTROL_ENABLE = 1;
/// DTR as input handshake.
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
/// RTS off.
constexpr DWORD RTS_CONTROL_DISABLE = 0;
/// RTS on.
constexpr DWORD RTS_CONTROL_ENABLE = 1;
/// RTS as input handshake.
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
/// RTS on while bytes are being sent.
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

/// No parity bit.
constexpr BYTE NOPARITY = 0;
/// Odd parity.
constexpr BYTE ODDPARITY = 1;
/// Even parity.
constexpr BYTE EVENPARITY = 2;
/// Parity bit always 1.
constexpr BYTE MARKPARITY = 3;
/// Parity bit always 0.
constexpr BYTE SPACEPARITY = 4;
/// 1 stop bit.
constexpr BYTE ONESTOPBIT = 0;
/// 1.5 stop bits (with 5 data bits only).
constexpr BYTE ONE5STOPBITS = 1;
/// 2 stop bits.
constexpr BYTE TWOSTOPBITS = 2;
///@}

/// @name Line speeds
/// DCB BaudRate values, in bit/s (CBR_19200 is 19200). Any other rate the device supports may be
/// given as its number.
///@{
/// 110 bit/s.
constexpr DWORD CBR_110 = 110;
/// 300 bit/s.
constexpr DWORD CBR_300 = 300;
/// 600 bit/s.
constexpr DWORD CBR_600 = 600;
/// 1200 bit/s.
constexpr DWORD CBR_1200 = 1200;
/// 2400 bit/s.
constexpr DWORD CBR_2400 = 2400;
/// 4800 bit/s.
constexpr DWORD CBR_4800 = 4800;
/// 9600 bit/s.
constexpr DWORD CBR_9600 = 9600;
/// 14400 bit/s.
constexpr DWORD CBR_14400 = 14400;
/// 19200 bit/s.
constexpr DWORD CBR_19200 = 19200;
/// 38400 bit/s.
constexpr DWORD CBR_38400 = 38400;
/// 56000 bit/s.
constexpr DWORD CBR_56000 = 56000;
/// 57600 bit/s.
constexpr DWORD CBR_57600 = 57600;
/// 115200 bit/s.
constexpr DWORD CBR_115200 = 115200;
/// 128000 bit/s.
constexpr DWORD CBR_128000 = 128000;
/// 256000 bit/s.
constexpr DWORD CBR_256000 = 256000;
///@}

/// Device status from ClearCommError.
struct COMSTAT {
  /// @name Fields as on Windows
  /// The f... flags say why output is held (waiting for CTS, DSR, DCD, or XON; XOFF sent) and
  /// whether a TransmitCommChar byte is queued; cbInQue is the number of bytes received and not
  /// yet read, cbOutQue the number written and not yet sent, both exact here (on a pty cbOutQue
  /// reads 0 once the bytes are handed to the kernel).
  ///@{
  /// Output waits for CTS.
  DWORD fCtsHold : 1;
  /// Output waits for DSR.
  DWORD fDsrHold : 1;
  /// Output waits for DCD.
  DWORD fRlsdHold : 1;
  /// Output waits after an XOFF received.
  DWORD fXoffHold : 1;
  /// Output waits after an XOFF sent.
  DWORD fXoffSent : 1;
  /// The end-of-data character was received.
  DWORD fEof : 1;
  /// A TransmitCommChar byte waits to be sent.
  DWORD fTxim : 1;
  /// Reserved, 0.
  DWORD fReserved : 25;
  /// Bytes received and not yet read.
  DWORD cbInQue;
  /// Bytes written and not yet sent.
  DWORD cbOutQue;
  ///@}
};
/// Pointer to COMSTAT.
using LPCOMSTAT = COMSTAT*;

/// Time-outs of ReadFile and WriteFile on a device, in milliseconds, as on Windows.
struct COMMTIMEOUTS {
  /// @name Fields as on Windows
  /// A read ends ReadIntervalTimeout ms after a byte with no next one, or after
  /// ReadTotalTimeoutMultiplier ms per byte asked plus ReadTotalTimeoutConstant ms; a write after
  /// WriteTotalTimeoutMultiplier ms per byte plus WriteTotalTimeoutConstant ms. 0 means no
  /// time-out; ReadIntervalTimeout MAXDWORD with both read totals 0 makes a read return at once
  /// with what has arrived. Here GetCommProperties does not offer the time-out between bytes
  /// (PCF_INTTIMEOUTS).
  ///@{
  /// Longest gap between two bytes of a read, ms.
  DWORD ReadIntervalTimeout;
  /// Read time-out per byte asked, ms.
  DWORD ReadTotalTimeoutMultiplier;
  /// Read time-out added once, ms.
  DWORD ReadTotalTimeoutConstant;
  /// Write time-out per byte, ms.
  DWORD WriteTotalTimeoutMultiplier;
  /// Write time-out added once, ms.
  DWORD WriteTotalTimeoutConstant;
  ///@}
};
/// Pointer to COMMTIMEOUTS.
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

/// Record of one asynchronous operation. Internal holds the operation's status while it runs and
/// when it ends (STATUS_PENDING while pending), InternalHigh the bytes transferred.
struct OVERLAPPED {
  /// @name Fields as on Windows
  /// Internal and InternalHigh as described above; Offset and OffsetHigh are unused on a device
  /// (0); hEvent is a manual-reset event the operation signals when it ends.
  ///@{
  /// Status of the operation (STATUS_PENDING while it runs).
  ULONG_PTR Internal;
  /// Bytes transferred.
  ULONG_PTR InternalHigh;
  /// File position, low 32 bits (0 on a device).
  DWORD Offset;
  /// File position, high 32 bits (0 on a device).
  DWORD OffsetHigh;
  /// Manual-reset event signalled when the operation ends.
  HANDLE hEvent;
  ///@}
};
/// Pointer to OVERLAPPED.
using LPOVERLAPPED = OVERLAPPED*;

/// OVERLAPPED::Internal while the operation runs.
constexpr ULONG_PTR STATUS_PENDING = 0x00000103;

/// @name Event mask bits
/// Event mask bits (SetCommMask / WaitCommEvent), as on Windows. Here they are edge-triggered
/// and accumulate only while in the mask: EV_RXCHAR when bytes enter the input queue, EV_RXFLAG
/// when the event character is among them, EV_TXEMPTY when the output has fully drained, EV_CTS,
/// EV_DSR, EV_RLSD (DCD) and EV_RING on a change of that input, EV_BREAK on a break received,
/// EV_ERR on a line error (CE_FRAME, CE_OVERRUN, CE_RXPARITY).
///@{
/// Bytes entered the input queue.
constexpr DWORD EV_RXCHAR = 0x0001;
/// The event character was received.
constexpr DWORD EV_RXFLAG = 0x0002;
/// The output has fully drained.
constexpr DWORD EV_TXEMPTY = 0x0004;
/// CTS changed.
constexpr DWORD EV_CTS = 0x0008;
/// DSR changed.
constexpr DWORD EV_DSR = 0x0010;
/// DCD changed.
constexpr DWORD EV_RLSD = 0x0020;
/// A break was received.
constexpr DWORD EV_BREAK = 0x0040;
/// A line error (CE_FRAME, CE_OVERRUN, CE_RXPARITY).
constexpr DWORD EV_ERR = 0x0080;
/// The ring indicator changed.
constexpr DWORD EV_RING = 0x0100;
///@}

/// @name Modem status bits
/// Modem status bits (GetCommModemStatus): the input is on. RLSD is DCD.
///@{
/// CTS is on.
constexpr DWORD MS_CTS_ON = 0x0010;
/// DSR is on.
constexpr DWORD MS_DSR_ON = 0x0020;
/// The ring indicator is on.
constexpr DWORD MS_RING_ON = 0x0040;
/// DCD is on.
constexpr DWORD MS_RLSD_ON = 0x0080;
///@}

/// @name Communication error flags
/// Communication error flags (ClearCommError), as on Windows: input queue overflow, hardware
/// overrun, parity error, framing error, break received, output queue full.
///@{
/// The input queue overflowed.
constexpr DWORD CE_RXOVER = 0x0001;
/// The hardware lost a byte (overrun).
constexpr DWORD CE_OVERRUN = 0x0002;
/// A parity error.
constexpr DWORD CE_RXPARITY = 0x0004;
/// A framing error.
constexpr DWORD CE_FRAME = 0x0008;
/// A break was received.
constexpr DWORD CE_BREAK = 0x0010;
/// The output queue was full.
constexpr DWORD CE_TXFULL = 0x0100;
///@}

/// @name PurgeComm flags
/// PurgeComm flags: abort the pending writes or reads, clear the output or input queue.
///@{
/// Abort pending writes.
constexpr DWORD PURGE_TXABORT = 0x0001;
/// Abort pending reads.
constexpr DWORD PURGE_RXABORT = 0x0002;
/// Clear the output queue.
constexpr DWORD PURGE_TXCLEAR = 0x0004;
/// Clear the input queue.
constexpr DWORD PURGE_RXCLEAR = 0x0008;
///@}

/// @name EscapeCommFunction codes
/// EscapeCommFunction codes: act as if XOFF or XON was received, raise or drop RTS and DTR,
/// reset the device (accepted, does nothing here), start or end a break.
///@{
/// Act as if XOFF was received.
constexpr DWORD SETXOFF = 1;
/// Act as if XON was received.
constexpr DWORD SETXON = 2;
/// Raise RTS.
constexpr DWORD SETRTS = 3;
/// Drop RTS.
constexpr DWORD CLRRTS = 4;
/// Raise DTR.
constexpr DWORD SETDTR = 5;
/// Drop DTR.
constexpr DWORD CLRDTR = 6;
/// Reset the device (accepted, does nothing here).
constexpr DWORD RESETDEV = 7;
/// Start a break.
constexpr DWORD SETBREAK = 8;
/// End a break.
constexpr DWORD CLRBREAK = 9;
///@}

/// Device properties (GetCommProperties).
struct COMMPROP {
  /// @name Fields as on Windows
  /// What the device offers. Here: the packet is sizeof(COMMPROP), version 2; the service
  /// SP_SERIALCOMM, the provider PST_RS232; the largest and the current queue sizes in bytes
  /// (dwCurrentTxQueue and dwCurrentRxQueue as SetupComm set them); dwMaxBaud BAUD_USER (any
  /// speed); the capabilities (PCF_), settable parameters (SP_), speeds (BAUD_), data bits
  /// (DATABITS_) and stop bits and parities (STOPBITS_, PARITY_) as the masks below.
  ///@{
  /// Size of the structure in bytes.
  WORD wPacketLength;
  /// Structure version (2).
  WORD wPacketVersion;
  /// The service (SP_SERIALCOMM).
  DWORD dwServiceMask;
  /// Reserved, 0.
  DWORD dwReserved1;
  /// Largest output queue, bytes.
  DWORD dwMaxTxQueue;
  /// Largest input queue, bytes.
  DWORD dwMaxRxQueue;
  /// Highest speed (BAUD_USER: any).
  DWORD dwMaxBaud;
  /// Kind of device (PST_RS232).
  DWORD dwProvSubType;
  /// What the device can do (PCF_ bits).
  DWORD dwProvCapabilities;
  /// What can be set (SP_ bits).
  DWORD dwSettableParams;
  /// Speeds that can be set (BAUD_ bits).
  DWORD dwSettableBaud;
  /// Data bits that can be set (DATABITS_ bits).
  WORD wSettableData;
  /// Stop bits and parities that can be set (STOPBITS_, PARITY_ bits).
  WORD wSettableStopParity;
  /// Current output queue, bytes.
  DWORD dwCurrentTxQueue;
  /// Current input queue, bytes.
  DWORD dwCurrentRxQueue;
  /// Device-specific, 0.
  DWORD dwProvSpec1;
  /// Device-specific, 0.
  DWORD dwProvSpec2;
  /// Device-specific, 0.
  WCHAR wcProvChar[1];
  ///@}
};
/// Pointer to COMMPROP.
using LPCOMMPROP = COMMPROP*;

/// @name Device property values
/// The values and bit masks of COMMPROP's fields, with Windows' values. GetCommProperties here
/// reports every capability but parity checking on receive (PCF_PARITY_CHECK), time-outs between
/// bytes (PCF_INTTIMEOUTS) and 16-bit mode; every speed up to BAUD_57600 and BAUD_USER; 5 to 8
/// data bits; 1, 1.5 and 2 stop bits and every parity. COMMPROP_INITIALIZED marks a
/// wPacketLength/dwProvSpec1 filled in by the caller, as on Windows.
///@{
/// dwProvSpec1 value saying wPacketLength is set by the caller.
constexpr DWORD COMMPROP_INITIALIZED = 0xE73CF52E;
/// Serial communication service.
constexpr DWORD SP_SERIALCOMM = 0x1;
/// An RS-232 serial port.
constexpr DWORD PST_RS232 = 0x1;

/// DTR/DSR handshake.
constexpr DWORD PCF_DTRDSR = 0x1;
/// RTS/CTS handshake.
constexpr DWORD PCF_RTSCTS = 0x2;
/// DCD.
constexpr DWORD PCF_RLSD = 0x4;
/// Parity checking on receive.
constexpr DWORD PCF_PARITY_CHECK = 0x8;
/// XON/XOFF flow control.
constexpr DWORD PCF_XONXOFF = 0x10;
/// Settable XON/XOFF characters.
constexpr DWORD PCF_SETXCHAR = 0x20;
/// Total time-outs.
constexpr DWORD PCF_TOTALTIMEOUTS = 0x40;
/// Time-outs between bytes.
constexpr DWORD PCF_INTTIMEOUTS = 0x80;
/// Special characters.
constexpr DWORD PCF_SPECIALCHARS = 0x100;
/// 16-bit mode.
constexpr DWORD PCF_16BITMODE = 0x200;

/// Parity settable.
constexpr DWORD SP_PARITY = 0x1;
/// Speed settable.
constexpr DWORD SP_BAUD = 0x2;
/// Data bits settable.
constexpr DWORD SP_DATABITS = 0x4;
/// Stop bits settable.
constexpr DWORD SP_STOPBITS = 0x8;
/// Handshake settable.
constexpr DWORD SP_HANDSHAKING = 0x10;
/// Parity checking settable.
constexpr DWORD SP_PARITY_CHECK = 0x20;
/// DCD detection settable.
constexpr DWORD SP_RLSD = 0x40;

/// 75 bit/s.
constexpr DWORD BAUD_075 = 0x1;
/// 110 bit/s.
constexpr DWORD BAUD_110 = 0x2;
/// 134.5 bit/s.
constexpr DWORD BAUD_134_5 = 0x4;
/// 150 bit/s.
constexpr DWORD BAUD_150 = 0x8;
/// 300 bit/s.
constexpr DWORD BAUD_300 = 0x10;
/// 600 bit/s.
constexpr DWORD BAUD_600 = 0x20;
/// 1200 bit/s.
constexpr DWORD BAUD_1200 = 0x40;
/// 1800 bit/s.
constexpr DWORD BAUD_1800 = 0x80;
/// 2400 bit/s.
constexpr DWORD BAUD_2400 = 0x100;
/// 4800 bit/s.
constexpr DWORD BAUD_4800 = 0x200;
/// 7200 bit/s.
constexpr DWORD BAUD_7200 = 0x400;
/// 9600 bit/s.
constexpr DWORD BAUD_9600 = 0x800;
/// 14400 bit/s.
constexpr DWORD BAUD_14400 = 0x1000;
/// 19200 bit/s.
constexpr DWORD BAUD_19200 = 0x2000;
/// 38400 bit/s.
constexpr DWORD BAUD_38400 = 0x4000;
/// 56000 bit/s.
constexpr DWORD BAUD_56K = 0x8000;
/// 128000 bit/s.
constexpr DWORD BAUD_128K = 0x10000;
/// 115200 bit/s.
constexpr DWORD BAUD_115200 = 0x20000;
/// 57600 bit/s.
constexpr DWORD BAUD_57600 = 0x40000;
/// Any speed given as its number.
constexpr DWORD BAUD_USER = 0x10000000;

/// 5 data bits.
constexpr WORD DATABITS_5 = 0x1;
/// 6 data bits.
constexpr WORD DATABITS_6 = 0x2;
/// 7 data bits.
constexpr WORD DATABITS_7 = 0x4;
/// 8 data bits.
constexpr WORD DATABITS_8 = 0x8;
/// 16 data bits.
constexpr WORD DATABITS_16 = 0x10;
/// Wide transfers.
constexpr WORD DATABITS_16X = 0x20;

/// 1 stop bit.
constexpr WORD STOPBITS_10 = 0x1;
/// 1.5 stop bits.
constexpr WORD STOPBITS_15 = 0x2;
/// 2 stop bits.
constexpr WORD STOPBITS_20 = 0x4;
/// No parity.
constexpr WORD PARITY_NONE = 0x100;
/// Odd parity.
constexpr WORD PARITY_ODD = 0x200;
/// Even parity.
constexpr WORD PARITY_EVEN = 0x400;
/// Mark parity.
constexpr WORD PARITY_MARK = 0x800;
/// Space parity.
constexpr WORD PARITY_SPACE = 0x1000;
///@}

// ---- Critical sections --------------------------------------------------------------------------

/// Opaque storage for a recursive lock; sized and aligned for the implementation's mutex.
struct CRITICAL_SECTION {
  alignas(std::max_align_t) unsigned char Opaque[64];  ///< the lock; only the calls touch it
};
/// Pointer to CRITICAL_SECTION.
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

// ---- Functions ----------------------------------------------------------------------------------

/// The calling convention of the API's functions: empty here (stdcall on 32-bit Windows).
#define WINAPI

extern "C" {

/// @name Last error
/// The error of the calling thread's last failed call (GetLastError), and setting it
/// (SetLastError). One value per thread; a successful call may leave it as it was.
///@{
/// The calling thread's last error.
COMM_WIN32_API DWORD WINAPI GetLastError();
/// Sets the calling thread's last error to dwErrCode.
COMM_WIN32_API void WINAPI SetLastError(DWORD dwErrCode);

///@}

/// @name Handles, events, waiting
/// As on Windows. CloseHandle closes an event or a device handle (aborting its pending
/// operations). CreateEventA makes an event, manual-reset or automatic, signalled or not
/// (attributes and name ignored: events are never shared by name here); SetEvent and ResetEvent
/// change its state; WaitForSingleObject waits for an event or the end of a pending operation up
/// to dwMilliseconds (INFINITE: no limit) and returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED;
/// Sleep waits dwMilliseconds. A BOOL result is FALSE on failure, with GetLastError() set
/// (ERROR_INVALID_HANDLE for a handle that is not open).
///@{
/// Closes an event or a device handle (aborting its pending operations).
COMM_WIN32_API BOOL WINAPI CloseHandle(HANDLE hObject);
/// A new event, manual-reset or automatic, signalled or not; attributes and name are ignored.
COMM_WIN32_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes,
                                          BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
/// Signals the event.
COMM_WIN32_API BOOL WINAPI SetEvent(HANDLE hEvent);
/// Clears the event.
COMM_WIN32_API BOOL WINAPI ResetEvent(HANDLE hEvent);
/// Waits up to dwMilliseconds for the object: WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
COMM_WIN32_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
/// Waits dwMilliseconds.
COMM_WIN32_API void WINAPI Sleep(DWORD dwMilliseconds);

///@}

/// @name Critical sections
/// Critical sections (recursive for the owning thread, as on Windows): initialise before use,
/// enter and leave in pairs on one thread, delete when no thread holds it.
///@{
/// Prepares a critical section for use.
COMM_WIN32_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
/// Waits for and takes the section (again, on the thread holding it).
COMM_WIN32_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
/// Releases one take of the section.
COMM_WIN32_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
/// Frees a section no thread holds.
COMM_WIN32_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

///@}

/// @name Files and serial devices
/// Files and serial devices, with Windows' meanings: each returns nonzero on success and FALSE (or
/// INVALID_HANDLE_VALUE) on failure, with GetLastError() set (the error codes above). CreateFileA
/// opens "\\.\COM<n>" (resolved on Linux through COMM_PORT_<n>, the per-user port map, then
/// /dev/ttyS<n-1>), "virtual:NAME[/A|/B]" or a device path, always exclusively (root included:
/// ERROR_SHARING_VIOLATION when open elsewhere). Where this implementation differs from Windows:
/// SetupComm sizes the input and output queues exactly and cbInQue/cbOutQue are exact; SetCommMask
/// releases a pending WaitCommEvent with mask 0; PurgeComm aborts and clears; a device without
/// modem lines (a pty) fails GetCommModemStatus and the DTR/RTS escapes with ERROR_NOT_SUPPORTED
/// and accepts a break without sending one; every call on a device that went away fails with
/// ERROR_DEVICE_NOT_CONNECTED.
///@{
COMM_WIN32_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess,
                                         DWORD dwShareMode,
                                         LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                         DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                         HANDLE hTemplateFile);
COMM_WIN32_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                    LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
COMM_WIN32_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                     LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
COMM_WIN32_API BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                               LPDWORD lpNumberOfBytesTransferred, BOOL bWait);
/// Cancels the handle's pending operations. CancelIo: all of them here (on Windows only those the
/// calling thread started); CancelIoEx: the one started with lpOverlapped, or every one when it is
/// null, whichever thread started them (ERROR_NOT_FOUND when none matches).
COMM_WIN32_API BOOL WINAPI CancelIo(HANDLE hFile);
COMM_WIN32_API BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped);
/// Returns once everything written to the handle has been sent.
COMM_WIN32_API BOOL WINAPI FlushFileBuffers(HANDLE hFile);

COMM_WIN32_API BOOL WINAPI SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue);
COMM_WIN32_API BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
COMM_WIN32_API BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
COMM_WIN32_API BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB);
COMM_WIN32_API BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB);
COMM_WIN32_API BOOL WINAPI GetCommMask(HANDLE hFile, LPDWORD lpEvtMask);
COMM_WIN32_API BOOL WINAPI SetCommMask(HANDLE hFile, DWORD dwEvtMask);
COMM_WIN32_API BOOL WINAPI WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask,
                                         LPOVERLAPPED lpOverlapped);
COMM_WIN32_API BOOL WINAPI GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat);
COMM_WIN32_API BOOL WINAPI EscapeCommFunction(HANDLE hFile, DWORD dwFunc);
COMM_WIN32_API BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat);
COMM_WIN32_API BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags);
COMM_WIN32_API BOOL WINAPI SetCommBreak(HANDLE hFile);
COMM_WIN32_API BOOL WINAPI ClearCommBreak(HANDLE hFile);
/// Sends cChar ahead of the bytes queued for output.
COMM_WIN32_API BOOL WINAPI TransmitCommChar(HANDLE hFile, char cChar);
COMM_WIN32_API BOOL WINAPI GetCommProperties(HANDLE hFile, LPCOMMPROP lpCommProp);
/// Line settings from a mode string: "baud=9600 parity=N data=8 stop=1 [xon= odsr= octs= dtr=
/// rts= idsr= to=]" or "COM1: 9600,n,8,1[,x|p]", each with an optional "COMn:" in front.
COMM_WIN32_API BOOL WINAPI BuildCommDCBA(LPCSTR lpDef, LPDCB lpDCB);
COMM_WIN32_API BOOL WINAPI BuildCommDCBAndTimeoutsA(LPCSTR lpDef, LPDCB lpDCB,
                                                    LPCOMMTIMEOUTS lpCommTimeouts);
///@}

}  // extern "C"

#endif  // !_WIN32

// ---- Message boxes (values only; the framework shows them) --------------------------------------

/// @name Message boxes
/// Buttons and icons for a message box (Application->MessageBox, MessageBoxA) and the answers it
/// returns, with Windows' values; the framework shows the box. The same on every platform:
/// user32's own message box is kept out (NOMB), so these are the only MB_ values.
///@{
/// An OK button.
constexpr UINT MB_OK = 0x00000000;
/// OK and Cancel.
constexpr UINT MB_OKCANCEL = 0x00000001;
/// Yes, No and Cancel.
constexpr UINT MB_YESNOCANCEL = 0x00000003;
/// Yes and No.
constexpr UINT MB_YESNO = 0x00000004;
/// The error icon.
constexpr UINT MB_ICONHAND = 0x00000010;
/// The error icon.
constexpr UINT MB_ICONERROR = MB_ICONHAND;
/// The error icon.
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
/// The question icon.
constexpr UINT MB_ICONQUESTION = 0x00000020;
/// The warning icon.
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
/// The warning icon.
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
/// The information icon.
constexpr UINT MB_ICONASTERISK = 0x00000040;
/// The information icon.
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
#if !defined(_WIN32)  // <windows.h> defines the answers with the same values
/// OK was pressed.
constexpr int IDOK = 1;
/// Cancel was pressed (or the box closed).
constexpr int IDCANCEL = 2;
/// Yes was pressed.
constexpr int IDYES = 6;
/// No was pressed.
constexpr int IDNO = 7;
#endif
///@}
