// Lays a verified source out as an image. Structurally equal subtrees become one node (so a
// subtree is stored once however often it is written), identical value runs share pool
// storage, and the placement is a function of the trees and the statement order alone:
// the same trees in the same order give the same image byte for byte.
#pragma once

#include "diagnostics.h"
#include "owned_image.h"
#include "source_model.h"
#include "verifier.h"

namespace dbc {

// Node table order: node 0 (the Sequence over the roots), the roots of the key and tree
// statements in source order, then breadth first: each branch's block of children or cases
// when its first record is reached, with the first records of case targets right after the
// block; nodes that only list entries name; last the descriptors of the StringCase strings.
bool LayOut(const SourceModel& model, const Resolution& resolution, Diagnostics* diags,
            OwnedImage* image);

}  // namespace dbc
