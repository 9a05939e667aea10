// Helpers of the compiler tests: compile a source held in the test, evaluate a key of the
// result through the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compiler.h"
#include "modeldb.h"
#include "owned_image.h"

namespace dbc_test {

// Compiles `text` as file "t.mdb"; on failure the diagnostics are in *messages.
bool Compile(const std::string& text, dbc::OwnedImage* image, std::string* messages = nullptr);

// Every diagnostic of a compile of `text` as "t.mdb", one per line.
std::string Messages(const std::string& text);

struct Answer {
  int32_t status;
  std::vector<uint8_t> bytes;
};

// Key lookup and typed fetch on `image` with the given settings and strings.
Answer Query(const dbc::OwnedImage& image, uint32_t key, std::vector<int32_t> settings,
             std::vector<const char*> strings = {});

std::vector<uint8_t> Le32(std::vector<int32_t> values);

// The files of the shipped database source in build order (empty when there is none).
std::vector<std::string> ShippedSourceFiles();

}  // namespace dbc_test
