// The checks a source must pass before it is laid out: names, labels, case kinds, the place
// of a MaskHeader, cycles, evaluation depth, list entries and selector row indexes.
#pragma once

#include <cstdint>
#include <vector>

#include "diagnostics.h"
#include "source_model.h"

namespace dbc {

// What the layout needs from the checks.
struct Resolution {
  std::vector<uint32_t> target;     // per source node: itself, or the node its use names
  std::vector<uint32_t> postOrder;  // every non-use node, each after the nodes below it
};

// Reports every problem; true when there is no error (warnings allowed). The resolution is
// complete only on success.
bool VerifySource(const SourceModel& model, Diagnostics* diags, Resolution* resolution);

// Index of the named node, or kNoNode.
uint32_t FindName(const SourceModel& model, const std::string& name);

}  // namespace dbc
