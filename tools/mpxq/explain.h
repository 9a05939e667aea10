// The path the evaluator takes for one query: every node visited, what decided each guard
// and switch, and the leaf that answered. Runs the query on the image built into this tool
// with the evaluator's trace hook.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "modeldb_client.h"

namespace mpxq {

struct Explanation {
  int32_t status = 0;
  std::vector<uint8_t> answer;
  std::string listing;   // indented text, one evaluation after the other
  nlohmann::json json;   // {"evaluations": [...]}
};

Explanation Explain(const Query& query);

}  // namespace mpxq
