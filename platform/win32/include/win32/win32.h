// SPDX-License-Identifier: MIT
// The subset of the Win32 API that the serial component is written against.
//
// On Windows this header is <windows.h>, with the macros that would rename our own names taken
// back (win32/windows_names.h); include it before any other header that includes <windows.h>.
// Elsewhere the same names, types, values and meanings are provided by our own implementation
// (platform/win32 and platform/serial), so that the component source is identical on both.
//
// Threads: every call may be made from any thread. The calls on one device handle are
// serialised by its driver; GetLastError and SetLastError keep one value per thread.
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

// After <windows.h>: takes back the macros that would rename our names.
#include <win32/windows_names.h>

#else

#include <win32/export.h>

#include <cstddef>
#include <cstdint>

// ---- Basic types --------------------------------------------------------------------------------

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using ULONG_PTR = std::uintptr_t;
using HANDLE = void*;
using HWND = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPDWORD = DWORD*;
using LPBOOL = BOOL*;
using WCHAR = wchar_t;

constexpr DWORD MAXDWORD = 0xFFFFFFFF;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// ---- Error codes --------------------------------------------------------------------------------

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_COMMAND = 22;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ERROR_COUNTER_TIMEOUT = 1121;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr DWORD ERROR_NOT_FOUND = 1168;
constexpr DWORD ERROR_DEVICE_REMOVED = 1617;

// ---- Waiting ------------------------------------------------------------------------------------

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// ---- File access --------------------------------------------------------------------------------

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// ---- Message boxes (values only; the framework shows them) --------------------------------------

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// ---- Serial devices -----------------------------------------------------------------------------

// Device-control block. The flag word (the 32 bits after BaudRate) is laid out bit for bit as
// on Windows, so that e.g. 0x0001, 0x1311 and 0x202D mean the same flags here as there.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
using LPDCB = DCB*;

constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

constexpr DWORD CBR_110 = 110;
constexpr DWORD CBR_300 = 300;
constexpr DWORD CBR_600 = 600;
constexpr DWORD CBR_1200 = 1200;
constexpr DWORD CBR_2400 = 2400;
constexpr DWORD CBR_4800 = 4800;
constexpr DWORD CBR_9600 = 9600;
constexpr DWORD CBR_14400 = 14400;
constexpr DWORD CBR_19200 = 19200;
constexpr DWORD CBR_38400 = 38400;
constexpr DWORD CBR_56000 = 56000;
constexpr DWORD CBR_57600 = 57600;
constexpr DWORD CBR_115200 = 115200;
constexpr DWORD CBR_128000 = 128000;
constexpr DWORD CBR_256000 = 256000;

struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
};
using LPCOMSTAT = COMSTAT*;

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

// Record of one asynchronous operation. Internal holds the operation's status while it runs and
// when it ends (STATUS_PENDING while pending), InternalHigh the bytes transferred.
struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

constexpr ULONG_PTR STATUS_PENDING = 0x00000103;

// Event mask bits (SetCommMask / WaitCommEvent).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;

// Modem status bits (GetCommModemStatus).
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// Communication error flags (ClearCommError).
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;

// PurgeComm flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// EscapeCommFunction codes.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD RESETDEV = 7;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// Device properties (GetCommProperties).
struct COMMPROP {
  WORD wPacketLength;
  WORD wPacketVersion;
  DWORD dwServiceMask;
  DWORD dwReserved1;
  DWORD dwMaxTxQueue;
  DWORD dwMaxRxQueue;
  DWORD dwMaxBaud;
  DWORD dwProvSubType;
  DWORD dwProvCapabilities;
  DWORD dwSettableParams;
  DWORD dwSettableBaud;
  WORD wSettableData;
  WORD wSettableStopParity;
  DWORD dwCurrentTxQueue;
  DWORD dwCurrentRxQueue;
  DWORD dwProvSpec1;
  DWORD dwProvSpec2;
  WCHAR wcProvChar[1];
};
using LPCOMMPROP = COMMPROP*;

constexpr DWORD COMMPROP_INITIALIZED = 0xE73CF52E;
constexpr DWORD SP_SERIALCOMM = 0x1;
constexpr DWORD PST_RS232 = 0x1;

constexpr DWORD PCF_DTRDSR = 0x1;
constexpr DWORD PCF_RTSCTS = 0x2;
constexpr DWORD PCF_RLSD = 0x4;
constexpr DWORD PCF_PARITY_CHECK = 0x8;
constexpr DWORD PCF_XONXOFF = 0x10;
constexpr DWORD PCF_SETXCHAR = 0x20;
constexpr DWORD PCF_TOTALTIMEOUTS = 0x40;
constexpr DWORD PCF_INTTIMEOUTS = 0x80;
constexpr DWORD PCF_SPECIALCHARS = 0x100;
constexpr DWORD PCF_16BITMODE = 0x200;

constexpr DWORD SP_PARITY = 0x1;
constexpr DWORD SP_BAUD = 0x2;
constexpr DWORD SP_DATABITS = 0x4;
constexpr DWORD SP_STOPBITS = 0x8;
constexpr DWORD SP_HANDSHAKING = 0x10;
constexpr DWORD SP_PARITY_CHECK = 0x20;
constexpr DWORD SP_RLSD = 0x40;

constexpr DWORD BAUD_075 = 0x1;
constexpr DWORD BAUD_110 = 0x2;
constexpr DWORD BAUD_134_5 = 0x4;
constexpr DWORD BAUD_150 = 0x8;
constexpr DWORD BAUD_300 = 0x10;
constexpr DWORD BAUD_600 = 0x20;
constexpr DWORD BAUD_1200 = 0x40;
constexpr DWORD BAUD_1800 = 0x80;
constexpr DWORD BAUD_2400 = 0x100;
constexpr DWORD BAUD_4800 = 0x200;
constexpr DWORD BAUD_7200 = 0x400;
constexpr DWORD BAUD_9600 = 0x800;
constexpr DWORD BAUD_14400 = 0x1000;
constexpr DWORD BAUD_19200 = 0x2000;
constexpr DWORD BAUD_38400 = 0x4000;
constexpr DWORD BAUD_56K = 0x8000;
constexpr DWORD BAUD_128K = 0x10000;
constexpr DWORD BAUD_115200 = 0x20000;
constexpr DWORD BAUD_57600 = 0x40000;
constexpr DWORD BAUD_USER = 0x10000000;

constexpr WORD DATABITS_5 = 0x1;
constexpr WORD DATABITS_6 = 0x2;
constexpr WORD DATABITS_7 = 0x4;
constexpr WORD DATABITS_8 = 0x8;
constexpr WORD DATABITS_16 = 0x10;
constexpr WORD DATABITS_16X = 0x20;

constexpr WORD STOPBITS_10 = 0x1;
constexpr WORD STOPBITS_15 = 0x2;
constexpr WORD STOPBITS_20 = 0x4;
constexpr WORD PARITY_NONE = 0x100;
constexpr WORD PARITY_ODD = 0x200;
constexpr WORD PARITY_EVEN = 0x400;
constexpr WORD PARITY_MARK = 0x800;
constexpr WORD PARITY_SPACE = 0x1000;

// ---- Critical sections --------------------------------------------------------------------------

// Opaque storage for a recursive lock; sized and aligned for the implementation's mutex.
struct CRITICAL_SECTION {
  alignas(std::max_align_t) unsigned char Opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

// ---- Functions ----------------------------------------------------------------------------------

#define WINAPI

extern "C" {

// Last error, per thread.
COMM_WIN32_API DWORD WINAPI GetLastError();
COMM_WIN32_API void WINAPI SetLastError(DWORD dwErrCode);

// Handles, events, waiting.
COMM_WIN32_API BOOL WINAPI CloseHandle(HANDLE hObject);
COMM_WIN32_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes,
                                          BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
COMM_WIN32_API BOOL WINAPI SetEvent(HANDLE hEvent);
COMM_WIN32_API BOOL WINAPI ResetEvent(HANDLE hEvent);
COMM_WIN32_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
COMM_WIN32_API void WINAPI Sleep(DWORD dwMilliseconds);

// Critical sections (recursive for the owning thread, as on Windows).
COMM_WIN32_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
COMM_WIN32_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
COMM_WIN32_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
COMM_WIN32_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Files and serial devices.
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
// Cancels the handle's pending operations. CancelIo: all of them here (on Windows only those the
// calling thread started); CancelIoEx: the one started with lpOverlapped, or every one when it is
// null, whichever thread started them (ERROR_NOT_FOUND when none matches).
COMM_WIN32_API BOOL WINAPI CancelIo(HANDLE hFile);
COMM_WIN32_API BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped);
// Returns once everything written to the handle has been sent.
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
// Sends cChar ahead of the bytes queued for output.
COMM_WIN32_API BOOL WINAPI TransmitCommChar(HANDLE hFile, char cChar);
COMM_WIN32_API BOOL WINAPI GetCommProperties(HANDLE hFile, LPCOMMPROP lpCommProp);
// Line settings from a mode string: "baud=9600 parity=N data=8 stop=1 [xon= odsr= octs= dtr=
// rts= idsr= to=]" or "COM1: 9600,n,8,1[,x|p]", each with an optional "COMn:" in front.
COMM_WIN32_API BOOL WINAPI BuildCommDCBA(LPCSTR lpDef, LPDCB lpDCB);
COMM_WIN32_API BOOL WINAPI BuildCommDCBAndTimeoutsA(LPCSTR lpDef, LPDCB lpDCB,
                                                    LPCOMMTIMEOUTS lpCommTimeouts);

}  // extern "C"

#endif  // !_WIN32
