// SPDX-License-Identifier: MIT
#include <framework/registration.h>

#include <algorithm>
#include <mutex>
#include <utility>

namespace {

struct Palette {
  std::mutex lock;
  std::vector<std::pair<std::string, std::vector<const TClassInfo*>>> pages;
};

Palette& ThePalette() {
  static Palette* palette = new Palette;  // lives until the process ends
  return *palette;
}

}  // namespace

void RegisterComponents(const std::string& Page, std::initializer_list<const TClassInfo*> Classes) {
  for (const TClassInfo* c : Classes)
    if (c != nullptr) RegisterClass(*c);
  Palette& p = ThePalette();
  std::lock_guard<std::mutex> guard(p.lock);
  auto page = std::find_if(p.pages.begin(), p.pages.end(),
                           [&](const auto& entry) { return entry.first == Page; });
  if (page == p.pages.end()) page = p.pages.insert(p.pages.end(), {Page, {}});
  for (const TClassInfo* c : Classes) {
    if (c != nullptr &&
        std::find(page->second.begin(), page->second.end(), c) == page->second.end())
      page->second.push_back(c);
  }
}

std::vector<std::string> PalettePages() {
  Palette& p = ThePalette();
  std::lock_guard<std::mutex> guard(p.lock);
  std::vector<std::string> names;
  for (const auto& entry : p.pages) names.push_back(entry.first);
  return names;
}

std::vector<const TClassInfo*> PaletteClasses(const std::string& Page) {
  Palette& p = ThePalette();
  std::lock_guard<std::mutex> guard(p.lock);
  for (const auto& entry : p.pages)
    if (entry.first == Page) return entry.second;
  return {};
}
