// What the Q770 database must say, written down from the printer's documentation apart
// from the database source, so that the tests compare two independent descriptions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace q770 {

// Drv setting numbers.
enum Setting : uint32_t {
  kListMode = 0,
  kEngine = 4,
  kMedia = 5,
  kVariant = 6,
  kInkSet = 7,
  kQuality = 8,
  kGrey = 9,
  kColourOption18 = 18,
  kColourOption19 = 19,
  kDuplex = 20,
  kPaperWidth = 25,
  kPaperLength = 26,
  kPaperSize = 28,
  kUserWidth = 29,
  kUserLength = 30,
  kMarginMode = 52,
  kOptionFlags = 79,
  kOptionValue = 80,
  kBorderless = 81,
  kCorrection = 82,
};

inline constexpr int32_t kEngine3 = 3;
inline constexpr int32_t kNoTopBottomMargins = 5;  // setting 52
inline constexpr int32_t kUserDefinedSize = 256;

struct Paper {
  int32_t size;
  int32_t width, length;  // 0.01 mm
  bool printable;         // listed by key 4112
  int32_t printableWidth, printableLength;
  int32_t top, left;
  int32_t identifier;     // key 20494
  int32_t itemValue;      // item category 28
  bool borderless;        // listed by key 4180
};

// Item category 28 in its order; the user-defined size is last.
inline constexpr std::array<Paper, 19> kPapers{{
    {11, 14800, 21000, true, 14120, 20200, 300, 340, 15712, 15762, false},
    {9, 21000, 29700, true, 20320, 28900, 300, 340, 15710, 15760, true},
    {13, 18200, 25700, true, 17520, 24900, 300, 340, 15717, 15767, false},
    {1, 21590, 27940, true, 20320, 27140, 300, 640, 15701, 15751, true},
    {5, 21590, 35560, true, 20320, 34760, 300, 640, 15705, 15755, false},
    {20, 10477, 24130, true, 9797, 21180, 300, 340, 15747, 15780, false},
    {27, 11000, 22000, true, 10320, 19050, 300, 340, 15748, 15781, false},
    {280, 10160, 15240, true, 9480, 14440, 300, 340, 15682, 15796, true},
    {8, 29700, 42000, false, 0, 0, 0, 0, 15708, 15758, false},
    {66, 42000, 59400, false, 0, 0, 0, 0, 15707, 15757, false},
    {12, 25700, 36400, false, 0, 0, 0, 0, 15715, 15765, false},
    {257, 36400, 51500, false, 0, 0, 0, 0, 15714, 15764, false},
    {3, 27940, 43180, false, 0, 0, 0, 0, 15719, 15769, false},
    {24, 43180, 55880, false, 0, 0, 0, 0, 15743, 15793, false},
    {262, 34290, 43180, false, 0, 0, 0, 0, 15732, 15782, false},
    {272, 22860, 33782, false, 0, 0, 0, 0, 15739, 15789, false},
    {273, 22270, 35560, false, 0, 0, 0, 0, 15740, 15790, false},
    {274, 32900, 48300, false, 0, 0, 0, 0, 15741, 15791, false},
    {256, 0, 0, true, 0, 0, 0, 0, 15744, 15744, false},
}};

struct Media {
  int32_t id;
  int32_t itemValue;         // item category 5
  uint8_t modeCode;          // inside ESC ( c
  uint8_t mediaByte;         // completes ESC ( l
  int32_t qualityMark;       // first value of key 20485
  std::vector<int32_t> qualities;            // key 4118 with setting 81 = 0
  std::vector<int32_t> borderlessQualities;  // key 4118 with setting 81 = 1 (empty: none)
  uint16_t tableGroup;       // selector row table 1 group
  uint16_t groupValue;       // bytes 2-3 of that row
};

inline const std::vector<Media>& MediaList() {
  static const std::vector<Media> list{
      {1, 15101, 0x00, 0x00, 4, {1, 4, 5}, {4}, 0, 0},
      {281, 15127, 0x09, 0x0D, 2, {1, 2}, {1, 2}, 2, 26},
      {285, 15132, 0x09, 0x0D, 1, {1}, {1}, 3, 29},
      {284, 15131, 0x05, 0x05, 1, {1, 3}, {1, 3}, 4, 28},
      {277, 15123, 0x05, 0x05, 1, {1, 3}, {1, 3}, 5, 22},
      {271, 15117, 0x07, 0x07, 2, {1, 2, 3}, {}, 6, 16},
      {276, 15122, 0x06, 0x06, 1, {1}, {}, 7, 21},
      {273, 15119, 0x03, 0x03, 3, {3}, {}, 8, 18},
      {2, 15102, 0x02, 0x02, 3, {3, 5}, {}, 9, 1},
      {263, 15109, 0x08, 0x08, 4, {1, 4, 5}, {}, 10, 8},
  };
  return list;
}

inline const Media* FindMedia(int32_t id) {
  for (const Media& media : MediaList()) {
    if (media.id == id) return &media;
  }
  return nullptr;
}

inline const Paper* FindPaper(int32_t size) {
  for (const Paper& paper : kPapers) {
    if (paper.size == size) return &paper;
  }
  return nullptr;
}

// A print mode: engine 3, colour or greyscale, media, margins, quality and the variant of
// setting 6.
struct PrintMode {
  int32_t grey;  // setting 9
  int32_t media;
  int32_t borderless;  // setting 81
  int32_t quality;     // setting 8
  int32_t variant;     // setting 6
};

// Whether (grey, media, borderless, quality) is one of the 56 supported modes.
inline bool Supported(int32_t grey, int32_t media, int32_t borderless, int32_t quality) {
  const Media* m = FindMedia(media);
  if (m == nullptr || (grey != 0 && grey != 1) || (borderless != 0 && borderless != 1)) {
    return false;
  }
  const std::vector<int32_t>& list = borderless == 1 ? m->borderlessQualities : m->qualities;
  for (int32_t q : list) {
    if (q == quality) return true;
  }
  return false;
}

// Quality 5 on media 1 and 263 has a second variant.
inline bool HasSecondVariant(int32_t media, int32_t quality) {
  return quality == 5 && (media == 1 || media == 263);
}

// The supported modes with every variant the selector records hold, in record order.
inline std::vector<PrintMode> SelectorModes() {
  std::vector<PrintMode> modes;
  for (int32_t grey = 0; grey <= 1; ++grey) {
    for (const Media& media : MediaList()) {
      for (int32_t borderless = 0; borderless <= 1; ++borderless) {
        const auto& list = borderless == 1 ? media.borderlessQualities : media.qualities;
        for (int32_t quality : list) {
          modes.push_back({grey, media.id, borderless, quality, 1});
          if (HasSecondVariant(media.id, quality)) {
            modes.push_back({grey, media.id, borderless, quality, 2});
          }
        }
      }
    }
  }
  return modes;
}

// Row of selector row table 3 by quality and margins.
inline uint16_t QualityRow(int32_t quality, int32_t borderless) {
  struct Entry {
    int32_t quality, borderless;
    uint16_t row;
  };
  static constexpr Entry kRows[] = {{1, 0, 0}, {4, 0, 1}, {5, 0, 2}, {4, 1, 3}, {2, 0, 4},
                                    {1, 1, 5}, {2, 1, 6}, {3, 0, 7}, {3, 1, 8}};
  for (const Entry& e : kRows) {
    if (e.quality == quality && e.borderless == borderless) return e.row;
  }
  return 0xFFFF;
}

// Conversions of the page-format command.
inline int32_t Dots(int32_t hundredthsMm) { return (hundredthsMm * 600 + 2539) / 2540; }
inline uint32_t Sixtieths(int32_t hundredthsMm) {
  const uint32_t six = 6u * static_cast<uint32_t>(hundredthsMm);
  return six / 254 + (six % 254 != 0 ? 1u : 0u);
}

struct PageFormat {
  uint32_t length60, width60;
  uint16_t leftShift;  // the 16-bit field at offset 11
  int32_t left, top;
  int32_t printableWidth, printableLength;  // dots
  int32_t paperWidth, paperLength;          // dots
};

// The page-format command of a paper of W x L with setting 52 = marginMode.
inline PageFormat ComputedPageFormat(int32_t width, int32_t length, int32_t marginMode) {
  const bool full = marginMode == kNoTopBottomMargins;
  PageFormat f{};
  f.length60 = Sixtieths(full ? length : length - 800) & 0xFFFFu;
  f.width60 = Sixtieths(width - 680) & 0xFFFFu;
  if (f.width60 > 480) f.width60 = 480;
  f.leftShift = 0;
  f.left = 80;
  f.top = 70;
  const int32_t printable = width - 680 > 20320 ? 20320 : width - 680;
  f.printableWidth = Dots(printable);
  f.printableLength = full ? Dots(length) : (length * 600 - 477461) / 2540;
  f.paperWidth = Dots(width);
  f.paperLength = Dots(length);
  return f;
}

// The stored command of a standard size: the computation, with the left shift of Letter
// and Legal with margins, and the bleed of the borderless sizes.
inline PageFormat StoredPageFormat(const Paper& paper, int32_t marginMode, int32_t borderless) {
  PageFormat f = ComputedPageFormat(paper.width, paper.length, marginMode);
  if (marginMode == kNoTopBottomMargins) return f;
  if (borderless == 1 && paper.borderless) {
    f.length60 = 0;
    f.width60 = 0;
    f.left = -47;
    f.top = -47;
    f.printableWidth = Dots(paper.width + 500);
    f.printableLength = Dots(paper.length + 700);
  } else if (paper.size == 1 || paper.size == 5) {
    f.leftShift = 7;
    f.left = 151;
  }
  return f;
}

inline std::vector<uint8_t> PageFormatBytes(const PageFormat& f) {
  std::vector<uint8_t> b{0x1B, 0x28, 0x70, 0x2E, 0x00};
  auto be16 = [&b](uint32_t v) {
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    b.push_back(static_cast<uint8_t>(v & 0xFF));
  };
  auto be32 = [&b](int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
  };
  be16(f.length60);
  be16(0);
  be16(f.width60);
  be16(f.leftShift);
  be16(0);
  be32(600);
  be32(f.left);
  be32(f.top);
  be32(f.printableWidth);
  be32(f.printableLength);
  be32(0);
  be32(0);
  be32(f.paperWidth);
  be32(f.paperLength);
  return b;
}

}  // namespace q770
