// Derived contexts: one fixed heap block holding the header, the settings area and the
// strings area.
#include "context.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <new>

#include "platform.h"

namespace mdb {

namespace {

struct PresetSize {
  uint32_t settings;
  uint32_t strings;
};

// One preset per key category: every setting and string position its trees use.
constexpr PresetSize kPresets[] = {{1, 1}, {95, 0}, {13, 5}, {1, 0}, {4, 0}, {16, 9}};
constexpr int32_t kPresetCount = static_cast<int32_t>(std::size(kPresets));

constexpr uint32_t kHeaderBytes = sizeof(QueryContext);

// The strings area follows the settings area; with 64-bit pointers the settings area is
// rounded up so the pointers stay aligned (with 32-bit pointers nothing is added).
constexpr uint32_t SettingsAreaBytes(uint32_t settings) {
  constexpr uint32_t align = alignof(const char*);
  return (settings * 4u + align - 1u) / align * align;
}

constexpr uint32_t BlockSize(PresetSize p) {
  return kHeaderBytes + SettingsAreaBytes(p.settings) +
         p.strings * static_cast<uint32_t>(sizeof(const char*));
}

static_assert(sizeof(void*) != 4 || BlockSize(kPresets[0]) == 36);
static_assert(sizeof(void*) != 4 || BlockSize(kPresets[1]) == 408);
static_assert(sizeof(void*) != 4 || BlockSize(kPresets[5]) == 128);

}  // namespace

uint32_t DerivedContextBlockSize(int32_t preset) {
  if (preset < 0 || preset >= kPresetCount) return 0;
  return BlockSize(kPresets[preset]);
}

// The areas lie inside the block the library allocated, so writing through them is sound;
// the header only exposes them read-only to the evaluator.
int32_t* DerivedSettings(QueryContext* derived) {
  return derived != nullptr ? const_cast<int32_t*>(derived->settings) : nullptr;
}

const char** DerivedStrings(QueryContext* derived) {
  return derived != nullptr ? const_cast<const char**>(derived->strings) : nullptr;
}

QueryContext* AllocDerivedContext(int32_t preset, const QueryContext* source) {
  if (preset < 0 || preset >= kPresetCount) return nullptr;
  const PresetSize size = kPresets[preset];
  void* block = plat::HeapAlloc(BlockSize(size), false);
  if (block == nullptr) return nullptr;

  auto* bytes = static_cast<unsigned char*>(block);
  auto* settings = reinterpret_cast<int32_t*>(bytes + kHeaderBytes);
  const char** strings =
      size.strings > 0
          ? reinterpret_cast<const char**>(bytes + kHeaderBytes + SettingsAreaBytes(size.settings))
          : nullptr;

  // The list queries read settings the host may not have passed; they must see 0 there, not
  // leftover heap bytes, so every entry not copied is cleared.
  const uint32_t settingsCopied =
      source != nullptr && source->settings != nullptr ? std::min(size.settings, source->settingCount) : 0;
  for (uint32_t i = 0; i < size.settings; ++i) {
    settings[i] = i < settingsCopied ? source->settings[i] : 0;
  }
  const uint32_t stringsCopied =
      source != nullptr && source->strings != nullptr ? std::min(size.strings, source->stringCount) : 0;
  for (uint32_t i = 0; i < size.strings; ++i) {
    strings[i] = i < stringsCopied ? source->strings[i] : nullptr;
  }

  auto* context = new (block) QueryContext{};
  context->hPrinter = source != nullptr ? source->hPrinter : nullptr;
  context->hostData = source != nullptr ? source->hostData : 0;
  context->stringCount = size.strings;
  context->strings = strings;
  context->settingCount = size.settings;
  context->settings = settings;
  context->printerName = nullptr;  // never read: derived contexts open no printer
  return context;
}

void ReleaseDerivedContext(QueryContext* context) {
  if (context != nullptr) plat::HeapFree(context);
}

}  // namespace mdb
