// SPDX-License-Identifier: MIT
// Form reader fuzz target: any text either reads or raises EReadError (never crashes, hangs or
// leaks), and what reads writes back to a text that reads to the same text again.
#include <framework/streaming.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "sample_component.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = [] {
    RegisterClass<TSample>();
    RegisterClass<TSampleChild>();
    return true;
  }();
  (void)registered;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TComponent> root;
  try {
    root.reset(ReadComponentText(text, nullptr, "fuzz"));
  } catch (const EReadError&) {
    return 0;
  }
  std::string written;
  try {
    written = WriteComponentText(*root);
  } catch (const EWriteError&) {
    return 0;  // e.g. a nested component read without a name cannot happen; values can be odd
  }
  std::unique_ptr<TComponent> again(ReadComponentText(written, nullptr, "rewritten"));
  if (WriteComponentText(*again) != written) __builtin_trap();
  return 0;
}
