// The database compiler on any bytes: a clear error or an image, never a crash.
//
// A failed compile reports at least one error, every message has a place or names the
// image, and none is an internal error (that would be the compiler failing its own layout
// check). A successful compile gives an image that decompiles into source which compiles
// to the same image, and whose every key evaluates to a documented status without
// leaking memory or printer handles.
#include <cstdint>
#include <string>
#include <string_view>

#include "compiler.h"
#include "decompiler.h"
#include "entry.h"
#include "fuzz_support.h"
#include "owned_image.h"
#include "testing/fault_control.h"

namespace {

bool DocumentedStatus(int32_t status) { return status >= MPX_ERR_CONTEXT && status <= MPX_KEY_NOT_FOUND; }

// Every key of the directory through the query frame of its category.
void QueryEveryKey(const dbc::OwnedImage& owned) {
  const mdb::DbImage view = dbc::ViewOf(owned);
  const mdb::QueryEnv env{&view, nullptr};
  int32_t settings[128] = {};
  const char* strings[9] = {"", "", "", "", "", "", "", "", ""};
  const QueryContext context{nullptr, 0, 9, strings, 128, settings, nullptr};
  static constexpr mdb::Category kCategories[] = {mdb::Category::Root, mdb::Category::Drv,
                                                  mdb::Category::LM,   mdb::Category::Mnt,
                                                  mdb::Category::PA,   mdb::Category::SM};
  size_t asked = 0;
  for (const uint16_t key : owned.directoryKeys) {
    if (++asked > 64) break;
    for (const mdb::Category category : kCategories) {
      if ((key >> 12) != static_cast<uint32_t>(category)) continue;
      uint32_t size = 0;
      const int32_t sized = mdb::RunQuery(env, category, key, &context, 0, nullptr, &size);
      FUZZ_CHECK(DocumentedStatus(sized));
      if (sized == MPX_BUFFER_TOO_SMALL && size > 0 && size <= (1u << 20)) {
        std::string buffer(size, '\0');
        uint32_t again = 0;
        const int32_t fetched = mdb::RunQuery(env, category, key, &context, size, buffer.data(), &again);
        FUZZ_CHECK(DocumentedStatus(fetched));
        FUZZ_CHECK(fetched != MPX_BUFFER_TOO_SMALL);
        if (fetched == MPX_OK) FUZZ_CHECK(again == size);
      }
      FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
      FUZZ_CHECK(plat::testing::OpenPrinterHandles() == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::testing::Reset();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  dbc::OwnedImage image;
  dbc::Diagnostics diags;
  if (!dbc::CompileText(text, &image, &diags, "fuzz.mdb")) {
    FUZZ_CHECK(dbc::ErrorCount(diags) > 0);
    FUZZ_CHECK(image.nodes.empty() && image.directoryKeys.empty());
    for (const dbc::Diagnostic& diag : diags.items) {
      FUZZ_CHECK(!diag.message.empty());
      FUZZ_CHECK(diag.message.find("internal error") == std::string::npos);
      const std::string line = dbc::FormatDiagnostic(diags, diag);
      FUZZ_CHECK(line.rfind("fuzz.mdb", 0) == 0 || line.rfind("dbc", 0) == 0);
    }
    return 0;
  }

  // Printed back and compiled again, the image is the same byte for byte.
  const std::string source = dbc::DecompileImage(dbc::ViewOf(image));
  dbc::OwnedImage again;
  dbc::Diagnostics againDiags;
  const bool recompiled = dbc::CompileText(source, &again, &againDiags, "decompiled.mdb");
  if (!recompiled) std::fprintf(stderr, "%s\n%s", source.c_str(), dbc::FormatAll(againDiags).c_str());
  FUZZ_CHECK(recompiled);
  std::string difference;
  const bool same = dbc::SameImage(dbc::ViewOf(image), dbc::ViewOf(again), &difference);
  if (!same) std::fprintf(stderr, "decompiled image differs: %s\n", difference.c_str());
  FUZZ_CHECK(same);

  QueryEveryKey(image);
  return 0;
}
