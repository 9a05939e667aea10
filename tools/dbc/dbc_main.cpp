// dbc: the model database compiler.
//   dbc compile --output FILE [--counts] [--quiet] SRC...   C++ tables of the image
//   dbc check SRC...                                        verify only
//   dbc decompile [--output FILE] SRC...                    the image printed back as source
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "compiler.h"
#include "cpp_writer.h"
#include "decompiler.h"
#include "output_file.h"
#include "owned_image.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;

int Usage() {
  std::cerr << "usage: dbc compile --output FILE [--counts] [--quiet] SRC...\n"
               "       dbc check [--counts] SRC...\n"
               "       dbc decompile [--output FILE] SRC...\n";
  return kExitUsage;
}

bool ReadFile(const std::string& path, std::string* text) { return dbc::ReadWholeFile(path, text); }

bool WriteIfChanged(const std::string& path, const std::string& content) {
  bool written = false;
  return dbc::WriteFileIfChanged(path, content, &written);
}

void PrintCounts(const dbc::OwnedImage& image, bool table) {
  if (!table) {
    std::cout << "dbc: image counts: " << dbc::CountsLine(image) << "\n";
    return;
  }
  const auto counts = dbc::CountsOf(image);
  for (uint32_t i = 0; i < mdb::kCountSlots; ++i) {
    std::printf("%2u  %-18s %u\n", i + 1, dbc::kCountNames[i], counts[i]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  std::string output;
  bool countsTable = false;
  bool quiet = false;
  std::vector<std::string> sources;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--output" || arg == "-o") {
      if (i + 1 >= argc) return Usage();
      output = argv[++i];
    } else if (arg == "--counts") {
      countsTable = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "dbc: unknown option " << arg << "\n";
      return Usage();
    } else {
      sources.push_back(arg);
    }
  }
  if (command != "compile" && command != "check" && command != "decompile") return Usage();
  if (command == "compile" && output.empty()) return Usage();

  std::vector<dbc::SourceFile> files;
  for (const std::string& path : sources) {
    dbc::SourceFile file{path, {}};
    if (!ReadFile(path, &file.text)) {
      std::cerr << path << ": error: cannot read the file\n";
      return kExitErrors;
    }
    files.push_back(std::move(file));
  }
  dbc::OwnedImage image;
  dbc::Diagnostics diags;
  const bool ok = dbc::CompileSources(files, &image, &diags);
  std::cerr << dbc::FormatAll(diags);
  if (!ok) {
    std::cerr << "dbc: " << dbc::ErrorCount(diags) << " error(s); nothing written\n";
    return kExitErrors;
  }

  if (command == "compile") {
    if (!WriteIfChanged(output, dbc::WriteImageCpp(image, sources))) {
      std::cerr << output << ": error: cannot write the file\n";
      return kExitErrors;
    }
  } else if (command == "decompile") {
    const std::string text = dbc::DecompileImage(dbc::ViewOf(image));
    if (output.empty()) {
      std::cout << text;
    } else if (!WriteIfChanged(output, text)) {
      std::cerr << output << ": error: cannot write the file\n";
      return kExitErrors;
    }
    return kExitOk;
  }
  if (!quiet || countsTable) PrintCounts(image, countsTable);
  return kExitOk;
}
