// qxcal: calibration and table files from the command line: calls the calibration module as
// a host does and shows what it did, and reads, compares and plots table files.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "calibrate.h"
#include "cli.h"
#include "curve_output.h"
#include "exit_status.h"
#include "presets.h"
#include "table_diff.h"
#include "table_reader.h"
#include "table_sample.h"

namespace {

using qxcal::Curve;
using qxcal::DataOrder;
using qxcal::PlotCurve;
using qxcal::TableFile;
using tools::ToolError;
using tools::UsageError;

struct Common {
  bool json = false;
  bool bigEndian = false;
  DataOrder order() const { return bigEndian ? DataOrder::Big : DataOrder::Little; }
};

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError(path + ": cannot be opened");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TableFile LoadTable(const std::string& path, const Common& common) {
  TableFile table;
  std::string error;
  if (!qxcal::LoadTableFile(path, common.order(), &table, &error)) throw ToolError(error);
  return table;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw ToolError("cannot write " + path);
}

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", value);
  return buffer;
}

std::string IdList(const std::vector<int32_t>& ids) {
  std::string out;
  for (const int32_t id : ids) out += (out.empty() ? "" : ", ") + std::to_string(id);
  return out.empty() ? "none" : out;
}

std::string CurveLabel(const Curve& curve) {
  return "table " + std::to_string(curve.tableId) + " ink " + std::to_string(curve.inkPosition);
}

void ReportProblems(const std::string& path, const TableFile& table) {
  for (const std::string& warning : table.warnings) std::cerr << "qxcal: " << path << ": warning: " << warning << "\n";
  for (const std::string& error : table.errors) std::cerr << "qxcal: " << path << ": " << error << "\n";
}

// ---- inspect --------------------------------------------------------------------------------

nlohmann::json TableJson(const TableFile& table) {
  nlohmann::json db = nlohmann::json::array();
  for (const qxcal::DbChunk& c : table.dbChunks) {
    db.push_back({{"id", c.id}, {"offset", c.bodyOffset - 4}, {"size", c.bodySize}, {"version", c.version},
                  {"record_count", c.recordCount}, {"record_size", c.recordSize}, {"table_ids", c.tableIds}});
  }
  nlohmann::json ht = nlohmann::json::array();
  for (const qxcal::HtChunk& c : table.htChunks) {
    nlohmann::json curves = nlohmann::json::array();
    for (const Curve& curve : c.curves) {
      curves.push_back({{"ink_position", curve.inkPosition}, {"offset", curve.fileOffset},
                        {"first", curve.values.front()}, {"last", curve.values.back()}});
    }
    ht.push_back({{"id", c.id}, {"offset", c.bodyOffset - 4}, {"size", c.bodySize},
                  {"layout", c.structured ? "structured" : "simple"}, {"curve_count", c.curveCount},
                  {"preset_group", c.presetGroup}, {"named", c.listed}, {"curves", curves}});
  }
  nlohmann::json other = nlohmann::json::array();
  for (const auto* directory : {&table.dbDirectory, &table.htDirectory}) {
    for (const qxcal::DirectoryEntry& e : *directory) {
      if (e.kind != 8 && e.kind != 20) other.push_back({{"kind", e.kind}, {"id", e.id}, {"offset", e.chunkOffset}});
    }
  }
  return {{"size", table.size},
          {"ident", table.ident},
          {"ident_offset", table.identOffset},
          {"db_directory", {{"offset", table.dbDirectoryOffset}, {"entries", table.dbDirectory.size()}}},
          {"ht_directory", {{"offset", table.htDirectoryOffset}, {"entries", table.htDirectory.size()}}},
          {"db_chunks", db},
          {"table_ids", table.tableIds},
          {"ht_chunks", ht},
          {"curve_count", table.AllCurves().size()},
          {"other_chunks", other},
          {"errors", table.errors},
          {"warnings", table.warnings}};
}

std::string TableListing(const std::string& path, const TableFile& table) {
  std::string out = path + ": " + std::to_string(table.size) + " bytes\n";
  out += "identification \"" + table.ident + "\" (" + std::to_string(table.identLength) + " characters, block at " +
         Hex(table.identOffset) + ")\n";
  const bool shared = table.dbDirectoryOffset == table.htDirectoryOffset;
  out += "QXDB directory at " + Hex(table.dbDirectoryOffset) + ", " + std::to_string(table.dbDirectory.size()) +
         " entries; QXHT directory at " + Hex(table.htDirectoryOffset) +
         (shared ? " (the same directory)" : ", " + std::to_string(table.htDirectory.size()) + " entries") + "\n";
  out += "QXDB chunks read by the calibration:\n";
  for (const qxcal::DbChunk& c : table.dbChunks) {
    out += "  " + std::to_string(c.id) + "  version " + std::to_string(c.version & 0xFFFFu) + ", " +
           std::to_string(c.recordCount) + " records";
    if (c.recordSize != 0) out += " of " + std::to_string(c.recordSize) + " bytes";
    out += ", body " + std::to_string(c.bodySize) + " bytes at " + Hex(c.bodyOffset) + "; tables " + IdList(c.tableIds) + "\n";
  }
  if (table.dbChunks.empty()) out += "  none\n";
  out += "tables named by the QXDB records: " + IdList(table.tableIds) + "\n";
  out += "QXHT chunks:\n";
  for (const qxcal::HtChunk& c : table.htChunks) {
    out += "  " + std::to_string(c.id) + "  " + (c.structured ? "structured" : "simple") + ", " +
           std::to_string(c.curves.size()) + " curve" + (c.curves.size() == 1 ? "" : "s");
    if (!c.curves.empty()) {
      out += " (ink positions";
      for (const Curve& curve : c.curves) out += " " + std::to_string(curve.inkPosition);
      out += ")";
    }
    out += ", body " + std::to_string(c.bodySize) + " bytes at " + Hex(c.bodyOffset);
    out += c.listed ? (c.presetGroup ? "; calibrated (preset curves)" : "; named, no preset curves")
                    : "; named by no QXDB record";
    out += "\n";
  }
  if (table.htChunks.empty()) out += "  none\n";
  std::string other;
  for (const auto* directory : {&table.dbDirectory, &table.htDirectory}) {
    for (const qxcal::DirectoryEntry& e : *directory) {
      if (e.kind == 8 || e.kind == 20) continue;
      other += "  kind " + std::to_string(e.kind) + " id " + std::to_string(e.id) + " at " + Hex(e.chunkOffset) + "\n";
    }
    if (shared) break;
  }
  if (!other.empty()) out += "chunks of other kinds (carried along unread):\n" + other;
  return out;
}

int RunInspect(const Common& common, const std::string& path) {
  const TableFile table = LoadTable(path, common);
  if (common.json) {
    std::cout << TableJson(table).dump(2) << "\n";
  } else {
    std::cout << TableListing(path, table);
  }
  ReportProblems(path, table);
  return table.errors.empty() ? tools::kExitOk : tools::kExitFailure;
}

// ---- diff -----------------------------------------------------------------------------------

int RunDiff(const Common& common, const std::string& first, const std::string& second) {
  const TableFile a = LoadTable(first, common);
  const TableFile b = LoadTable(second, common);
  ReportProblems(first, a);
  ReportProblems(second, b);
  const qxcal::TableDifference difference = qxcal::CompareTables(a, ReadBytes(first), b, ReadBytes(second));
  if (common.json) {
    std::cout << qxcal::DifferenceJson(difference).dump(2) << "\n";
  } else {
    std::cout << first << " -> " << second << ":\n" << qxcal::DifferenceListing(difference, "  ");
  }
  return a.errors.empty() && b.errors.empty() ? tools::kExitOk : tools::kExitFailure;
}

// ---- curves ---------------------------------------------------------------------------------

struct CurveOptions {
  std::string file;
  std::vector<int32_t> tables;
  int32_t preset = 0;
  int32_t level = 0;
  std::string svg;
  std::string cal;
  double fullScale = qxcal::kDefaultFullScale;
};

std::vector<PlotCurve> PresetCurves(int32_t tableId, int32_t level) {
  const cal::PresetGroup* group = cal::FindPresetGroup(tableId);
  if (group == nullptr) {
    std::string ids;
    for (const cal::PresetGroup& g : cal::PRESET_GROUPS) ids += (ids.empty() ? "" : ", ") + std::to_string(g.tableId);
    throw UsageError("table " + std::to_string(tableId) + " has no preset curves (tables " + ids + ")");
  }
  std::vector<PlotCurve> curves;
  for (int16_t ink = 0; ink < static_cast<int16_t>(cal::PRESET_INKS); ++ink) {
    const cal::PresetCurve* preset = cal::FindPresetCurve(*group, static_cast<int16_t>(level), ink);
    if (preset == nullptr) throw UsageError("level " + std::to_string(level) + " selects no preset curve (-5, -3, 3, 5)");
    PlotCurve curve{"preset " + std::to_string(tableId) + " level " + std::to_string(level) + " ink " + std::to_string(ink), {}};
    std::copy(preset->begin(), preset->end(), curve.values.begin());
    curves.push_back(curve);
  }
  return curves;
}

int RunCurves(const Common& common, const CurveOptions& options) {
  std::vector<PlotCurve> curves;
  std::string title;
  std::set<uint16_t> tablesShown;
  int status = tools::kExitOk;
  if (options.preset != 0) {
    if (!options.file.empty() || !options.tables.empty()) throw UsageError("--preset takes no table file and no --table");
    curves = PresetCurves(options.preset, options.level);
    title = "Preset curves of table " + std::to_string(options.preset) + ", level " + std::to_string(options.level);
    tablesShown.insert(static_cast<uint16_t>(options.preset));
  } else {
    if (options.file.empty()) throw UsageError("give a table file, or --preset TABLE --level L");
    const TableFile table = LoadTable(options.file, common);
    ReportProblems(options.file, table);
    if (!table.errors.empty()) status = tools::kExitFailure;
    for (const Curve& curve : table.AllCurves()) {
      if (!options.tables.empty() &&
          std::find(options.tables.begin(), options.tables.end(), curve.tableId) == options.tables.end()) {
        continue;
      }
      curves.push_back({CurveLabel(curve), curve.values});
      tablesShown.insert(curve.tableId);
    }
    for (const int32_t id : options.tables) {
      if (id < 0 || id > 0xFFFF || tablesShown.count(static_cast<uint16_t>(id)) == 0) {
        throw ToolError(options.file + " has no curves of table " + std::to_string(id));
      }
    }
    title = "Curves of " + options.file;
    if (options.tables.size() == 1) title += ", table " + std::to_string(options.tables.front());
  }
  if (!options.cal.empty() && tablesShown.size() != 1) {
    throw UsageError("--cal writes the curves of one table; choose it with --table");
  }
  if (!options.svg.empty()) WriteText(options.svg, qxcal::CurvesSvg(curves, title));
  if (!options.cal.empty()) WriteText(options.cal, qxcal::CurvesCgats(curves, options.fullScale, title));
  if (common.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const PlotCurve& c : curves) list.push_back({{"label", c.label}, {"values", c.values}});
    nlohmann::json out = {{"curves", list}, {"count", curves.size()}};
    if (!options.svg.empty()) out["svg"] = options.svg;
    if (!options.cal.empty()) out["cal"] = options.cal;
    std::cout << out.dump(2) << "\n";
    return status;
  }
  std::cout << title << ": " << curves.size() << " curves\n";
  if (options.svg.empty() && options.cal.empty()) {
    std::printf("  %-28s %6s %6s %6s %6s %6s\n", "curve", "[0]", "[64]", "[128]", "[192]", "[255]");
    for (const PlotCurve& c : curves) {
      std::printf("  %-28s %6u %6u %6u %6u %6u\n", c.label.c_str(), c.values[0], c.values[64], c.values[128],
                  c.values[192], c.values[255]);
    }
  }
  if (!options.svg.empty()) std::cout << "plot written to " << options.svg << "\n";
  if (!options.cal.empty()) std::cout << "CGATS curves written to " << options.cal << "\n";
  return status;
}

// ---- calibrate ------------------------------------------------------------------------------

struct CalibrateOptions {
  qxcal::CalibrationInput input;
  std::vector<int> levels;
  std::vector<int64_t> identity;
  int historyKey = 0;
  int inkConfiguration = 3;
  std::string plot;
  std::string library;
};

int RunCalibrate(const Common& common, CalibrateOptions options) {
  if (options.levels.size() != qxcal::kLevelCount) {
    throw UsageError("--levels takes six levels, one per ink position, as 3,0,-5,0,0,5");
  }
  for (size_t i = 0; i < qxcal::kLevelCount; ++i) options.input.levels[i] = static_cast<int16_t>(options.levels[i]);
  if (!options.identity.empty()) {
    if (options.identity.size() != 3) throw UsageError("--identity takes three values, as 1,2,3");
    for (size_t i = 0; i < 3; ++i) options.input.identity[i] = static_cast<int32_t>(static_cast<uint32_t>(options.identity[i]));
  }
  options.input.historyKey = static_cast<int16_t>(options.historyKey);
  options.input.inkConfiguration = static_cast<int16_t>(options.inkConfiguration);

  qxcal::CalibrationModule module;
  std::string error;
  if (!module.Load(options.library, &error)) throw ToolError("cannot load libcalibmod: " + error);
  const qxcal::CalibrationOutcome outcome = module.Calibrate(options.input);

  // What the table file in use now holds against the base table file.
  std::optional<qxcal::TableDifference> difference;
  TableFile baseTable;
  TableFile usedTable;
  const std::filesystem::path usedPath = std::filesystem::path(options.input.workingDirectory) / outcome.tableName;
  if (outcome.status == CAL_OK && outcome.tableName != outcome.baseName) {
    baseTable = LoadTable(options.input.baseFile, common);
    usedTable = LoadTable(usedPath.string(), common);
    difference = qxcal::CompareTables(baseTable, ReadBytes(options.input.baseFile), usedTable, ReadBytes(usedPath.string()));
  }
  if (!options.plot.empty()) {
    if (!difference) throw ToolError("no working table file to plot: the base table file stays in use");
    std::vector<PlotCurve> curves;
    for (const qxcal::CurveDifference& d : difference->curves) {
      if (d.change != qxcal::CurveChange::Changed) continue;
      curves.push_back({CurveLabel(*d.first) + " before", d.first->values, true});
      curves.push_back({CurveLabel(*d.second) + " after", d.second->values, false});
    }
    WriteText(options.plot, qxcal::CurvesSvg(curves, "Curves changed by the calibration: " + outcome.baseName + " -> " +
                                                         outcome.tableName));
  }

  if (common.json) {
    nlohmann::json out = qxcal::OutcomeJson(outcome);
    out["library"] = module.path();
    out["levels"] = options.input.levels;
    if (difference) out["difference"] = qxcal::DifferenceJson(*difference);
    if (!options.plot.empty()) out["plot"] = options.plot;
    std::cout << out.dump(2) << "\n";
  } else {
    std::cout << "QXCalibration: history key " << options.input.historyKey << ", ink configuration "
              << options.input.inkConfiguration << ", identity " << options.input.identity[0] << " "
              << options.input.identity[1] << " " << options.input.identity[2] << ", levels";
    for (const int16_t level : options.input.levels) std::cout << " " << level;
    std::cout << ", history stem \"" << options.input.stem << "\"\n";
    std::cout << qxcal::OutcomeListing(outcome);
    if (difference) {
      std::cout << "curves of " << outcome.tableName << " against " << outcome.baseName << ":\n"
                << qxcal::DifferenceListing(*difference, "  ");
    }
    if (!options.plot.empty()) std::cout << "plot of the changed curves written to " << options.plot << "\n";
  }
  if (outcome.status != CAL_OK) {
    std::cerr << "qxcal: QXCalibration answered " << outcome.status << " (" << qxcal::CalibrationStatusName(outcome.status)
              << ")\n";
    return tools::kExitFailure;
  }
  return tools::kExitOk;
}

// ---- sample ---------------------------------------------------------------------------------

int RunSample(const Common& common, const std::string& path, bool sharedDirectory) {
  const cal::sample::TableSpec spec = cal::sample::SampleTable(
      common.bigEndian ? cal::sample::DataOrder::Big : cal::sample::DataOrder::Little, sharedDirectory);
  const cal::sample::Bytes bytes = cal::sample::BuildTableFile(spec);
  if (!cal::sample::WriteFileBytes(path, bytes)) throw ToolError("cannot write " + path);
  const TableFile table = qxcal::ReadTableFile(bytes, common.order());
  if (common.json) {
    std::cout << nlohmann::json{{"path", path}, {"size", bytes.size()}, {"table_ids", table.tableIds}}.dump(2) << "\n";
  } else {
    std::cout << "wrote the sample base table file " << path << ": " << bytes.size() << " bytes, tables "
              << IdList(table.tableIds) << "\n";
  }
  return tools::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Calibrates table files through the calibration module, and reads, compares and plots them."};
  app.name("qxcal");
  tools::AddVersionFlag(app, "qxcal");
  app.require_subcommand(1);
  app.footer("Exit status: 0 success, 1 failure status or unusable file, 2 usage error.");
  Common common;
  const auto addCommon = [&common](CLI::App* command) {
    command->add_flag("--json", common.json, "print JSON for scripts");
    command->add_flag("--big-endian", common.bigEndian, "the chunk data is big-endian");
  };

  CalibrateOptions calibrate;
  CLI::App* calibrateCommand = app.add_subcommand("calibrate", "call QXCalibration and show what it did");
  calibrateCommand->add_option("base", calibrate.input.baseFile, "the base table file")->required()->check(CLI::ExistingFile);
  calibrateCommand->add_option("-w,--work", calibrate.input.workingDirectory, "the working directory")
      ->required()
      ->check(CLI::ExistingDirectory);
  calibrateCommand->add_option("-l,--levels", calibrate.levels, "six levels, one per ink position (0, -5, -3, 3, 5, or 8)")
      ->required()
      ->delimiter(',')
      ->check(CLI::Range(-32768, 32767));
  calibrateCommand->add_option("-k,--history-key", calibrate.historyKey, "the history key (0-32767)")->check(CLI::Range(0, 32767));
  calibrateCommand->add_option("-i,--identity", calibrate.identity, "the three identity values, as 1,2,3")
      ->delimiter(',')
      ->check(CLI::Range(static_cast<int64_t>(INT32_MIN), static_cast<int64_t>(UINT32_MAX)));
  calibrateCommand->add_option("--stem", calibrate.input.stem, "the five characters the history file name starts with")
      ->capture_default_str();
  calibrateCommand->add_option("--ink-config", calibrate.inkConfiguration, "the ink configuration")
      ->capture_default_str()
      ->check(CLI::Range(-32768, 32767));
  calibrateCommand->add_option("--plot", calibrate.plot, "write an SVG plot of the changed curves");
  calibrateCommand->add_option("--library", calibrate.library, "the libcalibmod to load (default: the one built with this tool)");
  addCommon(calibrateCommand);

  std::string inspectPath;
  CLI::App* inspect = app.add_subcommand("inspect", "show the structure of a table file");
  inspect->add_option("file", inspectPath, "the table file")->required();
  addCommon(inspect);

  std::string first, second;
  CLI::App* diff = app.add_subcommand("diff", "show which curves differ between two table files");
  diff->add_option("first", first, "a table file")->required();
  diff->add_option("second", second, "another table file")->required();
  addCommon(diff);

  CurveOptions curves;
  CLI::App* curvesCommand = app.add_subcommand("curves", "plot curves as SVG or write them as CGATS .cal text");
  curvesCommand->add_option("file", curves.file, "the table file");
  curvesCommand->add_option("-t,--table", curves.tables, "only the curves of this table id")->delimiter(',');
  curvesCommand->add_option("--preset", curves.preset, "the preset curves of this table id instead of a file");
  curvesCommand->add_option("--level", curves.level, "the level of the preset curves")->needs("--preset");
  curvesCommand->add_option("--svg", curves.svg, "write an SVG plot");
  curvesCommand->add_option("--cal", curves.cal, "write a CGATS .cal file (one table)");
  curvesCommand->add_option("--full-scale", curves.fullScale, "the curve value that is 1.0 in the .cal file")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  addCommon(curvesCommand);

  std::string samplePath;
  bool sharedDirectory = false;
  CLI::App* sample = app.add_subcommand("sample", "write the sample base table file");
  sample->add_option("file", samplePath, "where to write it")->required();
  sample->add_flag("--shared-directory", sharedDirectory, "one chunk directory for every kind");
  addCommon(sample);

  return tools::RunTool(app, argc, argv, [&]() -> int {
    if (calibrateCommand->parsed()) return RunCalibrate(common, calibrate);
    if (inspect->parsed()) return RunInspect(common, inspectPath);
    if (diff->parsed()) return RunDiff(common, first, second);
    if (curvesCommand->parsed()) return RunCurves(common, curves);
    if (sample->parsed()) return RunSample(common, samplePath, sharedDirectory);
    return tools::kExitUsage;
  });
}
