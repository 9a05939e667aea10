// mpxq: asks the model database questions from the command line, the way a host printer
// driver asks them, and says why the answers came out as they did.
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>

#include <nlohmann/json.hpp>

#include "answer.h"
#include "cli.h"
#include "decompiler.h"
#include "drv_keys.h"
#include "exit_status.h"
#include "explain.h"
#include "image.h"
#include "job.h"
#include "key_catalog.h"
#include "modeldb_client.h"
#include "modes.h"
#include "printer_commands.h"
#include "printer_store.h"
#include "settings.h"
#include "text.h"

namespace {

using mpxq::Category;
using mpxq::CategoryInfo;
using mpxq::ModelDb;
using mpxq::Query;
using tools::ToolError;
using tools::UsageError;

struct Common {
  std::string library;
  bool json = false;
};

struct KeyOptions {
  std::string key;
  std::string category;
};

void AddSettingOptions(CLI::App* command, mpxq::SettingOptions* options, bool settingsPositional) {
  if (settingsPositional) {
    command->add_option("settings", options->assignments, "settings as N=V (setting N gets value V)");
  } else {
    command->add_option("--set", options->assignments, "a setting as N=V")->type_name("N=V");
  }
  command->add_option("-s,--string", options->strings, "context string at position P, as P=TEXT")
      ->type_name("P=TEXT");
  command->add_option("-p,--printer", options->printer, "printer name in the spooler stand-in");
  command->add_option("--paper", options->paper, "Drv paper size: dimensions (210x297mm, 8.5x11in), an id or user");
  command->add_option("--media", options->media, "Drv media id, or default");
  command->add_option("--quality", options->quality, "Drv quality (setting 8), or default");
  command->add_option("--width", options->width, "width of the user-defined paper size (100mm, 4in)");
  command->add_option("--length", options->length, "length of the user-defined paper size");
  command->add_flag("--borderless", options->borderless, "print without margins (Drv setting 81 = 1)");
  command->add_option("--settings-count", options->settingCount,
                      "number of settings passed (default: the category's; 0 passes none)")
      ->check(CLI::Range(0, 4096));
}

void AddCommon(CLI::App* command, Common* common) {
  command->add_flag("--json", common->json, "print JSON for scripts");
  command->add_option("--library", common->library, "the libmodeldb to load (default: the one built with this tool)");
}

ModelDb LoadDb(const Common& common) {
  ModelDb db;
  std::string error;
  if (!db.Load(common.library, &error)) throw ToolError("cannot load libmodeldb: " + error);
  return db;
}

Query ParseKey(const KeyOptions& options) {
  const std::optional<int64_t> key = tools::ParseIntegerIn(options.key, 0, 0xFFFF);
  if (!key) throw UsageError("a key is a number from 0 to 0xFFFF (decimal or 0x hex), not \"" + options.key + "\"");
  Query query;
  query.key = static_cast<uint16_t>(*key);
  query.category = options.category.empty() ? mpxq::CategoryOfKey(query.key) : mpxq::FindCategory(options.category);
  if (query.category == nullptr) {
    throw UsageError(options.category.empty()
                         ? "key " + tools::HexNumber(query.key) + " names no category (its high four bits are 7 or more)"
                         : "unknown category \"" + options.category + "\" (root, drv, lm, mnt, pa, sm, internal)");
  }
  return query;
}

std::string ContextLine(const Query& query) {
  std::string line = "settings " + (query.passSettings ? mpxq::NonZeroSettings(query) + " (" +
                                                             std::to_string(query.settings.size()) + " passed)"
                                                       : std::string("none"));
  if (query.passStrings) {
    line += ", strings";
    for (size_t i = 0; i < query.strings.size(); ++i) line += " " + std::to_string(i) + "=\"" + query.strings[i] + "\"";
  } else {
    line += ", no context strings";
  }
  line += query.printerName ? ", printer \"" + tools::Utf16ToUtf8(*query.printerName) + "\"" : ", no printer";
  return line;
}

nlohmann::json QueryJson(const Query& query) {
  nlohmann::json settings = nlohmann::json::object();
  for (size_t i = 0; i < query.settings.size(); ++i) {
    if (query.settings[i] != 0) settings[std::to_string(i)] = query.settings[i];
  }
  nlohmann::json out = {{"category", query.category->label}, {"key", query.key},
                        {"setting_count", query.passSettings ? query.settings.size() : 0}, {"settings", settings}};
  if (query.passStrings) out["strings"] = query.strings;
  if (query.printerName) out["printer"] = tools::Utf16ToUtf8(*query.printerName);
  return out;
}

void PrintNotes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) std::cout << "  " << note << "\n";
}

int FailureStatus(const Query& query, int32_t status) {
  std::cout.flush();
  std::cerr << "mpxq: " << mpxq::KeyLabel(*query.category, query.key) << " answered status " << status << " ("
            << mpxq::StatusName(status) << ")\n";
  return tools::kExitFailure;
}

// ---- query ----------------------------------------------------------------------------------

int RunQuery(const Common& common, const KeyOptions& keyOptions, const mpxq::SettingOptions& options, bool raw) {
  Query query = ParseKey(keyOptions);
  if (query.category->exportName == nullptr) {
    throw UsageError("internal keys (0x5000-0x5FFF) are answered by no export; \"mpxq explain\" evaluates them");
  }
  const ModelDb db = LoadDb(common);
  const std::vector<std::string> notes = mpxq::ApplySettings(db, options, false, &query);
  std::vector<uint8_t> answer;
  const int32_t status = db.Ask(query, &answer);
  if (raw) {
    std::cout.write(reinterpret_cast<const char*>(answer.data()), static_cast<std::streamsize>(answer.size()));
    return status == MPX_OK ? tools::kExitOk : FailureStatus(query, status);
  }
  const mpxq::ShapeInfo shape = mpxq::ClassifyAnswer(query);
  if (common.json) {
    nlohmann::json out = QueryJson(query);
    out["export"] = query.category->exportName;
    out["status"] = status;
    out["status_name"] = mpxq::StatusName(status);
    out["notes"] = notes;
    if (status == MPX_OK) {
      out["size"] = answer.size();
      out["answer"] = mpxq::AnswerJson(shape, answer);
    }
    std::cout << out.dump(2) << "\n";
  } else {
    std::cout << mpxq::KeyLabel(*query.category, query.key) << " through " << query.category->exportName << "\n";
    std::cout << ContextLine(query) << "\n";
    PrintNotes(notes);
    std::cout << "status " << status << " (" << mpxq::StatusName(status) << ")";
    if (status == MPX_OK) {
      std::cout << ", " << answer.size() << " bytes: " << mpxq::ShapeName(shape.shape) << " (" << shape.source
                << ")\n"
                << mpxq::AnswerListing(shape, answer);
    } else {
      std::cout << "\n";
    }
  }
  return status == MPX_OK ? tools::kExitOk : FailureStatus(query, status);
}

// ---- explain --------------------------------------------------------------------------------

int RunExplain(const Common& common, const KeyOptions& keyOptions, const mpxq::SettingOptions& options) {
  Query query = ParseKey(keyOptions);
  const ModelDb db = LoadDb(common);  // symbolic settings are resolved through the exports
  const std::vector<std::string> notes = mpxq::ApplySettings(db, options, false, &query);
  const mpxq::Explanation explanation = mpxq::Explain(query);
  const mpxq::ShapeInfo shape = mpxq::ClassifyAnswer(query);
  if (common.json) {
    nlohmann::json out = QueryJson(query);
    out["status"] = explanation.status;
    out["status_name"] = mpxq::StatusName(explanation.status);
    out["evaluations"] = explanation.json["evaluations"];
    if (explanation.status == MPX_OK) out["answer"] = mpxq::AnswerJson(shape, explanation.answer);
    std::cout << out.dump(2) << "\n";
  } else {
    std::cout << mpxq::KeyLabel(*query.category, query.key) << "\n" << ContextLine(query) << "\n";
    PrintNotes(notes);
    std::cout << explanation.listing;
    std::cout << "status " << explanation.status << " (" << mpxq::StatusName(explanation.status) << ")";
    if (explanation.status == MPX_OK) {
      std::cout << ", " << explanation.answer.size() << " bytes:\n" << mpxq::AnswerListing(shape, explanation.answer);
    } else {
      std::cout << "\n";
    }
  }
  return explanation.status == MPX_OK ? tools::kExitOk : FailureStatus(query, explanation.status);
}

// ---- job ------------------------------------------------------------------------------------

int RunJob(const Common& common, mpxq::SettingOptions options, const std::vector<std::string>& keyTexts,
           const std::string& output) {
  Query query;
  query.category = mpxq::FindCategory("drv");
  std::vector<uint16_t> keys;
  for (const std::string& text : keyTexts) {
    const std::optional<int64_t> key = tools::ParseIntegerIn(text, mpxq::drv::kFirstSequenceKey, mpxq::drv::kLastSequenceKey);
    if (!key) throw UsageError("--keys takes command-sequence keys 4120-4125, not \"" + text + "\"");
    keys.push_back(static_cast<uint16_t>(*key));
  }
  if (keys.empty()) keys = mpxq::DefaultJobKeys();
  const ModelDb db = LoadDb(common);
  const std::vector<std::string> notes = mpxq::ApplySettings(db, options, true, &query);
  const mpxq::JobHeader job = mpxq::BuildJobHeader(db, query, keys);

  const bool toStdout = output == "-";
  if (job.complete && !output.empty()) {
    if (toStdout) {
      std::cout.write(reinterpret_cast<const char*>(job.bytes.data()), static_cast<std::streamsize>(job.bytes.size()));
      std::cout.flush();
    } else {
      std::ofstream out(output, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(job.bytes.data()), static_cast<std::streamsize>(job.bytes.size()));
      if (!out.flush()) throw ToolError("cannot write " + output);
    }
  }
  // With the bytes on stdout the listing goes to stderr.
  std::ostream& listing = toStdout ? std::cerr : std::cout;
  if (common.json) {
    nlohmann::json out = QueryJson(query);
    out["notes"] = notes;
    out["job"] = mpxq::JobJson(job);
    if (!output.empty() && job.complete) out["output"] = output;
    listing << out.dump(2) << "\n";
  } else {
    listing << ContextLine(query) << "\n";
    for (const std::string& note : notes) listing << "  " << note << "\n";
    listing << mpxq::JobListing(job);
    if (!output.empty() && !toStdout && job.complete) {
      listing << "\nwrote " << job.bytes.size() << " bytes to " << output << "\n";
    }
  }
  if (job.complete) return tools::kExitOk;
  for (const mpxq::JobPart& part : job.parts) {
    if (part.status == MPX_OK) continue;
    std::cerr << "mpxq: Drv key " << part.key << " answered status " << part.status << " ("
              << mpxq::StatusName(part.status) << ")";
    if (part.status == MPX_ERR_CONTEXT) std::cerr << "; it reads printer data: give --printer NAME";
    std::cerr << "\n";
  }
  if (!output.empty()) std::cerr << "mpxq: the job header is incomplete; nothing was written\n";
  return tools::kExitFailure;
}

// ---- modes, keys, dump ----------------------------------------------------------------------

int RunModes(const Common& common) {
  const ModelDb db = LoadDb(common);
  Query query;
  query.category = mpxq::FindCategory("drv");
  mpxq::SettingOptions options;
  options.paper = "";
  mpxq::ApplySettings(db, options, true, &query);
  const std::vector<mpxq::PrintMode> modes = mpxq::SupportedModes(db, query);
  if (common.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const mpxq::PrintMode& m : modes) {
      list.push_back({{"engine", m.engine}, {"colour", m.colour}, {"media", m.media}, {"borderless", m.borderless},
                      {"quality", m.quality}, {"mode", m.modeValues}, {"resolution", m.resolution}});
    }
    std::cout << nlohmann::json{{"count", modes.size()}, {"modes", list}}.dump(2) << "\n";
    return modes.empty() ? tools::kExitFailure : tools::kExitOk;
  }
  std::printf("%zu supported print modes\n", modes.size());
  std::printf("  engine  colour     media  borderless  quality   key 4117         resolution\n");
  std::printf("  (s. 4)  (s. 9)    (s. 5)     (s. 81)   (s. 8)\n");
  for (const mpxq::PrintMode& m : modes) {
    std::string values = "[";
    for (size_t i = 0; i < m.modeValues.size(); ++i) values += (i ? ", " : "") + std::to_string(m.modeValues[i]);
    values += "]";
    const std::string resolution = m.resolution.size() >= 2
                                       ? std::to_string(m.resolution[0]) + " x " + std::to_string(m.resolution[1])
                                       : "-";
    std::printf("  %6d  %-9s %6d  %-10s  %7d   %-16s %s\n", m.engine, m.colour == 0 ? "colour" : "greyscale",
                m.media, m.borderless != 0 ? "yes" : "no", m.quality, values.c_str(), resolution.c_str());
  }
  return modes.empty() ? tools::kExitFailure : tools::kExitOk;
}

int RunKeys(const Common& common, const std::string& categoryName) {
  const CategoryInfo* category = mpxq::FindCategory(categoryName);
  if (category == nullptr) {
    throw UsageError("unknown category \"" + categoryName + "\" (root, drv, lm, mnt, pa, sm, internal)");
  }
  const std::vector<mpxq::KeyEntry> entries = mpxq::CatalogKeys(*category);
  if (common.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const mpxq::KeyEntry& e : entries) {
      list.push_back({{"key", e.key}, {"meaning", e.meaning}, {"answers", e.answers}, {"selectors", e.selectors},
                      {"in_directory", e.inDirectory}, {"description", mpxq::KeyDescription(e)}});
    }
    std::cout << nlohmann::json{{"category", category->label}, {"keys", list}}.dump(2) << "\n";
  } else {
    std::printf("%zu %s keys\n", entries.size(), category->label);
    for (const mpxq::KeyEntry& e : entries) {
      std::printf("  0x%04X %5u  %s\n", e.key, e.key, mpxq::KeyDescription(e).c_str());
    }
  }
  return tools::kExitOk;
}

// ---- printer --------------------------------------------------------------------------------

struct PrinterOptions {
  std::string name;
  std::string silent;  // off, on, window
  std::string window;  // HH:MM-HH:MM
  std::vector<std::string> values;  // NAME=NUMBER
};

// The silent-mode command-language line the job-start sequence carries now.
std::string SilentLineNow(const ModelDb& db, const std::string& printer) {
  Query query;
  query.category = mpxq::FindCategory("drv");
  query.key = mpxq::drv::kFirstSequenceKey;
  query.settings.assign(query.category->settingCount, 0);
  query.printerName = tools::Utf8ToUtf16(printer);
  std::vector<uint8_t> answer;
  const int32_t status = db.Ask(query, &answer);
  if (status != MPX_OK) return "(Drv key 4120 answered status " + std::to_string(status) + ")";
  for (const mpxq::PrinterCommand& command : mpxq::SplitCommands(answer)) {
    for (const std::string& line : command.lines) {
      if (line.starts_with("SetSilent=")) return line;
    }
  }
  return "(no silent-mode line)";
}

int RunPrinterShow(const Common& common, const PrinterOptions& options) {
  const ModelDb db = LoadDb(common);
  const std::string enableName = mpxq::ValueName(db, mpxq::drv::kSilentModeEnableNumber);
  const std::string windowName = mpxq::ValueName(db, mpxq::drv::kSilentModeTimeNumber);
  const std::vector<mpxq::PrinterValue> values = mpxq::ReadPrinterValues(options.name, {enableName, windowName});
  const std::string now = SilentLineNow(db, options.name);
  if (common.json) {
    nlohmann::json out = {{"printer", options.name}, {"job_start_silent_line", now}};
    for (const mpxq::PrinterValue& v : values) out["values"][v.name] = v.value ? nlohmann::json(*v.value) : nlohmann::json();
    std::cout << out.dump(2) << "\n";
    return tools::kExitOk;
  }
  std::cout << "printer \"" << options.name << "\"\n";
  std::cout << "  " << enableName << " = "
            << (values[0].value ? std::to_string(*values[0].value) + " (" + mpxq::SilentModeMeaning(*values[0].value) + ")"
                                : std::string("not set (silent mode off)"))
            << "\n";
  std::cout << "  " << windowName << " = "
            << (values[1].value ? tools::HexNumber(*values[1].value, 8) + " (" + mpxq::SilentWindowText(*values[1].value) + ")"
                                : std::string("not set"))
            << "\n";
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M", &local);
  std::cout << "  a job started now (" << clock << ") carries: " << now << "\n";
  return tools::kExitOk;
}

int RunPrinterSet(const Common& common, const PrinterOptions& options) {
  const ModelDb db = LoadDb(common);
  std::vector<std::pair<std::string, uint32_t>> values;
  if (!options.silent.empty()) {
    static constexpr std::pair<const char*, uint32_t> kModes[] = {{"off", 0}, {"on", 1}, {"window", 2}};
    const auto* mode = std::find_if(std::begin(kModes), std::end(kModes),
                                    [&](const auto& m) { return options.silent == m.first; });
    if (mode == std::end(kModes)) throw UsageError("--silent takes off, on or window, not \"" + options.silent + "\"");
    values.emplace_back(mpxq::ValueName(db, mpxq::drv::kSilentModeEnableNumber), mode->second);
  }
  if (!options.window.empty()) {
    const std::optional<uint32_t> window = mpxq::ParseSilentWindow(options.window);
    if (!window) throw UsageError("--window takes HH:MM-HH:MM, as 22:00-07:00, not \"" + options.window + "\"");
    values.emplace_back(mpxq::ValueName(db, mpxq::drv::kSilentModeTimeNumber), *window);
  }
  for (const std::string& text : options.values) {
    const size_t equals = text.find('=');
    const std::optional<int64_t> value =
        equals == std::string::npos ? std::nullopt : tools::ParseIntegerIn(text.substr(equals + 1), INT32_MIN, UINT32_MAX);
    if (equals == 0 || !value) throw UsageError("a printer-data value is written NAME=NUMBER, not \"" + text + "\"");
    values.emplace_back(text.substr(0, equals), static_cast<uint32_t>(*value));
  }
  if (values.empty()) throw UsageError("nothing to set: give --silent, --window or NAME=NUMBER");
  mpxq::SetPrinterValues(options.name, values);
  if (common.json) {
    nlohmann::json out = {{"printer", options.name}, {"values", nlohmann::json::object()}};
    for (const auto& [name, value] : values) out["values"][name] = value;
    std::cout << out.dump(2) << "\n";
    return tools::kExitOk;
  }
  for (const auto& [name, value] : values) {
    std::cout << "printer \"" << options.name << "\": " << name << " = " << value << "\n";
  }
  return tools::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Asks the model database what a host printer driver asks, and shows why it answers so."};
  app.name("mpxq");
  tools::AddVersionFlag(app, "mpxq");
  app.require_subcommand(1);
  app.footer("Keys are decimal or 0x hex; the category follows from the key's high four bits.\n"
             "Exit status: 0 answered, 1 failure status or no answer, 2 usage error.");

  Common common;
  KeyOptions keyOptions;
  mpxq::SettingOptions settings;
  bool raw = false;

  CLI::App* query = app.add_subcommand("query", "ask one key through the library's exports");
  query->add_option("key", keyOptions.key, "the key")->required();
  AddSettingOptions(query, &settings, true);
  query->add_option("-c,--category", keyOptions.category, "ask through another category's export");
  query->add_flag("--raw", raw, "write the answer's bytes to stdout");
  AddCommon(query, &common);

  CLI::App* explain = app.add_subcommand("explain", "show the path the evaluator takes for a key");
  explain->add_option("key", keyOptions.key, "the key")->required();
  AddSettingOptions(explain, &settings, true);
  explain->add_option("-c,--category", keyOptions.category, "ask through another category's frame");
  AddCommon(explain, &common);

  std::vector<std::string> jobKeys;
  std::string output;
  CLI::App* job = app.add_subcommand("job", "the job header of a print job, decoded (A4, default media and quality)");
  AddSettingOptions(job, &settings, false);
  job->add_option("--keys", jobKeys, "command-sequence keys to ask, in order (default 4120-4125)")->delimiter(',');
  job->add_option("-o,--output", output, "write the job header's bytes to this file (- for stdout)");
  AddCommon(job, &common);

  CLI::App* modes = app.add_subcommand("modes", "list the supported print modes");
  AddCommon(modes, &common);

  std::string keysCategory;
  CLI::App* keys = app.add_subcommand("keys", "list the keys of a category with a description");
  keys->add_option("category", keysCategory, "root, drv, lm, mnt, pa, sm or internal")->required();
  AddCommon(keys, &common);

  CLI::App* dump = app.add_subcommand("dump", "print the database built into the library as source");

  PrinterOptions printerOptions;
  CLI::App* printer = app.add_subcommand("printer", "printers of the spooler stand-in and their printer data");
  printer->require_subcommand(1);
  CLI::App* create = printer->add_subcommand("create", "create a printer in the store");
  create->add_option("name", printerOptions.name, "printer name")->required();
  create->add_flag("--json", common.json, "print JSON for scripts");
  CLI::App* set = printer->add_subcommand("set", "set printer-data values");
  set->add_option("name", printerOptions.name, "printer name")->required();
  set->add_option("values", printerOptions.values, "values as NAME=NUMBER");
  set->add_option("--silent", printerOptions.silent, "silent mode: off, on, or window");
  set->add_option("--window", printerOptions.window, "silent-mode window, as 22:00-07:00");
  AddCommon(set, &common);
  CLI::App* show = printer->add_subcommand("show", "show the silent-mode values and their effect now");
  show->add_option("name", printerOptions.name, "printer name")->required();
  AddCommon(show, &common);

  return tools::RunTool(app, argc, argv, [&]() -> int {
    if (query->parsed()) return RunQuery(common, keyOptions, settings, raw);
    if (explain->parsed()) return RunExplain(common, keyOptions, settings);
    if (job->parsed()) return RunJob(common, settings, jobKeys, output);
    if (modes->parsed()) return RunModes(common);
    if (keys->parsed()) return RunKeys(common, keysCategory);
    if (dump->parsed()) {
      std::cout << dbc::DecompileImage(mdb::ShippedImage());
      return tools::kExitOk;
    }
    if (create->parsed()) {
      std::string path;
      const bool created = mpxq::CreatePrinter(printerOptions.name, &path);
      if (common.json) {
        std::cout << nlohmann::json{{"printer", printerOptions.name}, {"path", path}, {"created", created}}.dump(2)
                  << "\n";
        return tools::kExitOk;
      }
      std::cout << (created ? "created printer \"" : "printer \"") << printerOptions.name
                << (created ? "\" in " : "\" is already in ") << path << "\n";
      return tools::kExitOk;
    }
    if (set->parsed()) return RunPrinterSet(common, printerOptions);
    if (show->parsed()) return RunPrinterShow(common, printerOptions);
    return tools::kExitUsage;
  });
}
