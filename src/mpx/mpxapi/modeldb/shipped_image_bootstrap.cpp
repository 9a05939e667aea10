// A hand-written stand-in for the compiled image, used only while the database compiler or
// the database source is not there. It holds the keys of the documented examples: Root key
// 0x0002 (a version text), Drv keys 0x1005 and 0x1006 (two 16-bit pairs) and the tree that
// answers Drv keys 0x1007 and 0x103A and internal keys 0x500B and 0x500C.
#include <iterator>

#include "image.h"

namespace mdb {

namespace {

constexpr DbNode kNodes[] = {
    /* 0 */ MakeNode(NodeType::Sequence, 1, 0, 4),  // the roots of every tree
    /* 1 */ MakeNode(NodeType::WideText, 0, 0x0002, 5),
    /* 2 */ MakeNode(NodeType::UInt16Array, 0, 0x1005, 2),
    /* 3 */ MakeNode(NodeType::Int16Array, 2, 0x1006, 2),
    /* 4 */ MakeNode(NodeType::SettingFilter, 5, 4, 1),
    /* 5 */ MakeNode(NodeType::SettingGuard, 6, 3, 4),
    /* 6 */ MakeNode(NodeType::SignedBytes, 5, 0x500C, 1),
    /* 7 */ MakeNode(NodeType::SignedBytes, 6, 0x500B, 1),
    /* 8 */ MakeNode(NodeType::SignedBytes, 7, 0x103A, 1),
    /* 9 */ MakeNode(NodeType::SettingSwitch, 10, 9, 2),
    /* 10 */ MakeNode(NodeType::ValueCase, 12, 0u),
    /* 11 */ MakeNode(NodeType::ValueCase, 13, 1u),
    /* 12 */ MakeNode(NodeType::SignedBytes, 8, 0x1007, 1),
    /* 13 */ MakeNode(NodeType::SignedBytes, 9, 0x1007, 1),
};

constexpr uint16_t kDirectoryKeys[] = {0x0002, 0x1005, 0x1006, 0x1007, 0x103A, 0x5008, 0x500B, 0x500C};
constexpr uint32_t kDirectoryRoots[] = {1, 2, 3, 4, 4, 0, 4, 4};
static_assert(std::size(kDirectoryKeys) == std::size(kDirectoryRoots));

constexpr uint16_t kInt16Pool[] = {21590, 58420, 9000, 12000};
constexpr uint8_t kBytePool[] = {'1', '.', '5', '2', 0, 1, 1, 2, 24, 8};

constexpr DbImage kImage{
    {static_cast<uint32_t>(std::size(kNodes)), static_cast<uint32_t>(std::size(kDirectoryKeys)),
     0, 0, 0, 0, 0, static_cast<uint32_t>(std::size(kInt16Pool)),
     static_cast<uint32_t>(std::size(kBytePool)), 0, 0, 0, 0, 0, 0, 0},
    kNodes,
    kDirectoryKeys,
    kDirectoryRoots,
    nullptr, nullptr, nullptr,  // list-key table
    nullptr,                    // node-index list
    nullptr, nullptr, nullptr,  // item-list categories
    nullptr, nullptr,           // item pool
    nullptr,                    // int32 pool
    kInt16Pool,
    kBytePool,
    nullptr,  // string pool
    nullptr,  // selector records
    {nullptr, nullptr, nullptr, nullptr},
    nullptr,  // no directory index: searched entry by entry
};

}  // namespace

const DbImage& ShippedImage() { return kImage; }

}  // namespace mdb
