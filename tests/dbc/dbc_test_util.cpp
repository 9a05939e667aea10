#include "dbc_test_util.h"

#include <fstream>
#include <sstream>

#include "entry.h"
#include "query_env.h"

namespace dbc_test {

bool Compile(const std::string& text, dbc::OwnedImage* image, std::string* messages) {
  dbc::Diagnostics diags;
  const bool ok = dbc::CompileText(text, image, &diags, "t.mdb");
  if (messages != nullptr) *messages = dbc::FormatAll(diags);
  return ok;
}

std::string Messages(const std::string& text) {
  dbc::OwnedImage image;
  std::string messages;
  Compile(text, &image, &messages);
  return messages;
}

std::vector<uint8_t> Le32(std::vector<int32_t> values) {
  std::vector<uint8_t> bytes;
  for (int32_t v : values) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>((u >> (8 * i)) & 0xFFu));
  }
  return bytes;
}

std::vector<std::string> ShippedSourceFiles() {
  std::vector<std::string> files;
#ifdef MDB_SOURCE_FILES
  std::stringstream list(MDB_SOURCE_FILES);
  std::string file;
  while (std::getline(list, file, '|')) {
    if (!file.empty()) files.push_back(file);
  }
#endif
  return files;
}

}  // namespace dbc_test

namespace dbc_test {

Answer Query(const dbc::OwnedImage& image, uint32_t key, std::vector<int32_t> settings,
             std::vector<const char*> strings) {
  const mdb::DbImage view = dbc::ViewOf(image);
  const mdb::QueryEnv env{&view, nullptr};
  QueryContext context{};
  context.settingCount = static_cast<uint32_t>(settings.size());
  context.settings = settings.empty() ? nullptr : settings.data();
  context.stringCount = static_cast<uint32_t>(strings.size());
  context.strings = strings.empty() ? nullptr : strings.data();
  uint32_t size = 0;
  Answer answer{mdb::AnswerGeneric(env, key, &context, 0, nullptr, &size), {}};
  if (answer.status != MPX_BUFFER_TOO_SMALL) return answer;
  answer.bytes.resize(size);
  answer.status = mdb::AnswerGeneric(env, key, &context, size, answer.bytes.data(), &size);
  return answer;
}

}  // namespace dbc_test
