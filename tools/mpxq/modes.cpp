#include "modes.h"

#include "drv_keys.h"
#include "settings.h"

namespace mpxq {

namespace {

// Colour mode and margins take these values; the database lists no item list of them.
constexpr int32_t kColourModes[] = {drv::kColour, drv::kGreyscale};
constexpr int32_t kMarginModes[] = {0, 1};

}  // namespace

std::vector<PrintMode> SupportedModes(const ModelDb& db, const Query& base) {
  std::vector<PrintMode> modes;
  Query query = base;
  query.category = FindCategory("drv");
  for (const ItemRecord& engine : AskItems(db, query, drv::kEnginesKey)) {
    query.settings[drv::kEngineSetting] = engine.id;
    for (const int32_t colour : kColourModes) {
      query.settings[drv::kColourSetting] = colour;
      for (const ItemRecord& media : AskItems(db, query, drv::kAllMediaKey)) {
        query.settings[drv::kMediaSetting] = media.id;
        for (const int32_t borderless : kMarginModes) {
          query.settings[drv::kBorderlessSetting] = borderless;
          // The quality list answers only while setting 8 holds one of its own choices, so each
          // quality of the full list is tried and kept when the list for it names it.
          Query every = query;
          every.key = drv::kAllQualitiesKey;
          for (const int32_t quality : ItemListLeafIds(every)) {
            query.settings[drv::kQualitySetting] = quality;
            Query qualities = query;
            qualities.key = drv::kQualitiesKey;
            std::vector<uint8_t> answer;
            if (db.Ask(qualities, &answer) != MPX_OK) continue;
            bool listed = false;
            for (const ItemRecord& record : ItemRecords(answer)) listed = listed || record.id == quality;
            if (!listed) continue;
            Query mode = query;
            mode.key = drv::kPrintModeKey;
            std::vector<uint8_t> modeAnswer;
            if (db.Ask(mode, &modeAnswer) != MPX_OK) continue;
            mode.key = drv::kResolutionKey;
            std::vector<uint8_t> resolution;
            db.Ask(mode, &resolution);
            modes.push_back({engine.id, colour, media.id, borderless, quality, AnswerValues(modeAnswer),
                             AnswerValues(resolution)});
          }
        }
      }
    }
  }
  return modes;
}

}  // namespace mpxq
