#include "compiler.h"

#include "image_check.h"
#include "layout.h"
#include "parser.h"
#include "verifier.h"

namespace dbc {

bool CompileSources(const std::vector<SourceFile>& files, OwnedImage* image, Diagnostics* diags) {
  *image = OwnedImage{};
  SourceModel model;
  const auto base = static_cast<uint32_t>(diags->files.size());
  for (const SourceFile& file : files) diags->files.push_back(file.name);
  for (uint32_t i = 0; i < files.size(); ++i) ParseSource(files[i].text, base + i, &model, diags);
  Resolution resolution;
  const bool verified = VerifySource(model, diags, &resolution);
  if (!verified || ErrorCount(*diags) != 0) return false;
  if (!LayOut(model, resolution, diags, image)) {
    *image = OwnedImage{};
    return false;
  }
  // The layout must give an image the readers accept; anything else is a compiler fault.
  std::vector<std::string> problems = CheckImage(ViewOf(*image));
  if (!problems.empty()) {
    for (const std::string& p : problems) AddError(diags, kNoLoc, "internal error: " + p);
    *image = OwnedImage{};
    return false;
  }
  return true;
}

bool CompileText(std::string_view text, OwnedImage* image, Diagnostics* diags,
                 const std::string& name) {
  return CompileSources({SourceFile{name, std::string(text)}}, image, diags);
}

}  // namespace dbc
