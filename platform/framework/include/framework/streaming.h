// SPDX-License-Identifier: MIT
// Text form descriptions: reading components from them and writing components to them.
//
//   object MainForm: TMainForm
//     Caption = 'Zelvane 0.1'
//     Left = 388
//     OnCreate = FormCreate
//     object IOPort: TCommPort
//       ComNumber = 3
//       BaudRate = cbr19200
//       MonitorEvents = [evRxChar, evTxEmpty]
//     end
//   end
//
// Values: integers (decimal, optional sign, or $hex), True/False, enumerators and named integer
// values by name, sets as [a, b], characters as 'x' or #nnn, strings single-quoted UTF-8 with ''
// for a quote, #nnn for a byte, adjacent parts and '+' joining them, string lists as
// ('one' 'two'), event handlers by the name of a published method of the root component.
// Property names may be dotted (Font.Name) and are matched ignoring ASCII case.
//
// Nested objects are owned by the root component; the reader calls SetParentComponent with the
// enclosing object. Every property is applied through its write accessor the moment it is read,
// in file order; Loaded() runs on every new component after the whole description has been read.
#pragma once

#include <framework/classes.h>
#include <framework/export.h>
#include <framework/sysutils.h>

#include <string>

// A malformed form description. Message reads "<source>(<line>:<column>): <what>".
class COMM_FRAMEWORK_API EReadError : public Exception {
 public:
  EReadError(std::string SourceName, int Line, int Column, std::string Expected);

  std::string SourceName;
  int Line = 0;          // 1-based
  int Column = 0;        // 1-based, in bytes
  std::string Expected;  // what was expected (or what went wrong) at that place
};

// A component that cannot be written (e.g. an unnamed nested component).
class COMM_FRAMEWORK_API EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// The description of Root and of the components it owns (nested, in their order), each with the
// properties that differ from their declared default, in declaration order. Read-only
// properties are never written; Name is written in the object header; a handler that was not
// bound to a published method (e.g. a lambda assigned in code) is not written.
COMM_FRAMEWORK_API std::string WriteComponentText(TComponent& Root);

// Builds a new root component, owned by Owner, from Text (the class must be registered). On
// error nothing is left behind: everything built so far is destroyed and EReadError raised.
COMM_FRAMEWORK_API TComponent* ReadComponentText(const std::string& Text,
                                                 TComponent* Owner = nullptr,
                                                 const std::string& SourceName = "<text>");

// Reads Text into an existing root (a form reading its own description): the header's class
// must be Root's class or one of its ancestors; Root takes the header's name. On error the
// components created by this call are destroyed and EReadError raised (properties already
// applied to Root stay applied).
COMM_FRAMEWORK_API void ReadComponentTextInto(TComponent& Root, const std::string& Text,
                                              const std::string& SourceName = "<text>");
