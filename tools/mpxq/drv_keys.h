// The Drv settings and keys whose meaning the tools use.
#pragma once

#include <cstdint>

namespace mpxq::drv {

// Settings (positions in the Drv settings array).
inline constexpr uint32_t kEngineSetting = 4;
inline constexpr uint32_t kMediaSetting = 5;
inline constexpr uint32_t kVariantSetting = 6;
inline constexpr uint32_t kInkSetSetting = 7;
inline constexpr uint32_t kQualitySetting = 8;
inline constexpr uint32_t kColourSetting = 9;  // 0 colour, 1 greyscale
inline constexpr uint32_t kPaperSetting = 28;
inline constexpr uint32_t kUserWidthSetting = 29;   // 0.01 mm
inline constexpr uint32_t kUserLengthSetting = 30;  // 0.01 mm
inline constexpr uint32_t kMarginSetting = 52;      // 5: no top and bottom margins
inline constexpr uint32_t kBorderlessSetting = 81;  // 1: no margins at all

inline constexpr int32_t kUserDefinedPaper = 256;
inline constexpr int32_t kVariantStandard = 1;
inline constexpr int32_t kColour = 0;
inline constexpr int32_t kGreyscale = 1;

// Keys.
inline constexpr uint16_t kPaperSizeKey = 4099;      // paper width and length
inline constexpr uint16_t kEnginesKey = 4109;        // every choice of setting 4
inline constexpr uint16_t kMediaKey = 4110;          // media for the current settings
inline constexpr uint16_t kAllMediaKey = 4111;       // every choice of setting 5
inline constexpr uint16_t kAllPaperSizesKey = 4113;  // every choice of setting 28
inline constexpr uint16_t kInkSetsKey = 4115;        // every choice of setting 7
inline constexpr uint16_t kPrintModeKey = 4117;      // answers only for supported modes
inline constexpr uint16_t kQualitiesKey = 4118;      // setting-8 values for the media
inline constexpr uint16_t kAllQualitiesKey = 4119;   // every choice of setting 8
inline constexpr uint16_t kFirstSequenceKey = 4120;  // command sequences 4120-4125
inline constexpr uint16_t kLastSequenceKey = 4125;
inline constexpr uint16_t kSelectorKey = 4126;
inline constexpr uint16_t kResolutionKey = 4104;

// Item-list keys: 20-byte records.
inline constexpr uint16_t kItemListKeys[] = {4108, 4109, 4110, 4111, 4112, 4113, 4114, 4115,
                                             4116, 4118, 4119, 4173, 4174, 4177, 4180};
inline constexpr uint32_t kItemRecordSize = 20;
inline constexpr uint32_t kSelectorRecordSize = 192;
inline constexpr uint32_t kSelectorRowSizes[4] = {48, 40, 36, 48};

// Root key 8 maps a value-name number (Root setting 0) to a printer-data value name.
inline constexpr uint16_t kValueNameKey = 8;
inline constexpr int32_t kSilentModeEnableNumber = 153;
inline constexpr int32_t kSilentModeTimeNumber = 154;

}  // namespace mpxq::drv
