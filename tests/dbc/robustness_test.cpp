// Malformed input of every kind gets messages and a failed compile, never a crash; the
// decompiler and the image checks survive broken images.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "dbc_test_util.h"
#include "decompiler.h"
#include "image_check.h"

namespace {

using dbc::OwnedImage;
using dbc_test::Compile;

const char* const kRichSource =
    "# every statement and node form\n"
    "key 0x0002 = WideText \"1.52\"\n"
    "key 8 = SettingSwitch 0 { case 153: WideText \"VrdUI_SilentModeEnable\" }\n"
    "key 0x1007 as drv = SettingFilter 4 {\n"
    "  SettingGuard 3 {\n"
    "    SignedBytes @0x103A [2]\n"
    "    SettingSwitch 9 { case 0: SignedBytes [24] case 1, 2: SignedBytes [8] }\n"
    "  }\n"
    "}\n"
    "key 0x103A = use drv\n"
    "key 0x5008 = AllTrees\n"
    "tree parts for 0x5008 = Sequence {\n"
    "  silent: PrinterDataSwitch 153 { case 1: Bytes { 1B 5B \"QXL\\n\" } case 2: Computed 7 default: Bytes \"x\" }\n"
    "  MaskedSettingSwitch 79 mask 0x00800000 { case 8388608: Computed 6 range -5..-1: Bytes {} }\n"
    "  LocaleSwitch { case 44: UnsignedBytes [255] }\n"
    "  StringSwitch 1 { case \"DS,LS\", \"\": Int32Array [-1] default: UInt16Array [65535] }\n"
    "}\n"
    "list 4120 = [silent, drv]\n"
    "category 5 { 1 = 15101 281 = 15127 }\n"
    "row 1 { u16 124; text \"htab0000.tbl\"; pad 48 }\n"
    "row 2 { zeros 40 }\nrow 3 { i32 -1; pad 36 }\nrow 4 { bytes { FF \"a\" }; pad 48 }\n"
    "selector (4=3, 9=0, 5=1, 8=1, 6=1, 81=0) rows (0, 0, 0, 0)\n";

// "t.mdb:<line>:<column>: error: <text>" (or warning), or the compiler's own "dbc: error: ...".
bool WellFormed(const std::string& line) {
  size_t at = 0;
  auto number = [&]() {
    const size_t start = at;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
    return at > start;
  };
  if (line.rfind("t.mdb:", 0) == 0) {
    at = 6;
    if (!number() || at >= line.size() || line[at++] != ':' || !number()) return false;
  } else if (line.rfind("dbc", 0) == 0) {
    at = 3;
  } else {
    return false;
  }
  const std::string rest = line.substr(at);
  for (const char* kind : {": error: ", ": warning: "}) {
    const std::string k = kind;
    if (rest.rfind(k, 0) == 0 && rest.size() > k.size()) return true;
  }
  return false;
}

void ExpectWellFormedMessages(const std::string& messages) {
  size_t start = 0;
  while (start < messages.size()) {
    const size_t end = messages.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = messages.substr(start, end - start);
    EXPECT_TRUE(WellFormed(line)) << line;
    start = end + 1;
  }
}

void ExpectFailsCleanly(const std::string& source) {
  OwnedImage image;
  std::string messages;
  EXPECT_FALSE(Compile(source, &image, &messages));
  EXPECT_NE(messages.find("error:"), std::string::npos);
  ExpectWellFormedMessages(messages);
}

TEST(Robustness, RichSourceCompiles) {
  OwnedImage image;
  std::string messages;
  EXPECT_TRUE(Compile(kRichSource, &image, &messages)) << messages;
}

TEST(Robustness, EveryTruncationFailsOrCompilesWithMessages) {
  const std::string source = kRichSource;
  for (size_t length = 0; length < source.size(); ++length) {
    OwnedImage image;
    std::string messages;
    const bool ok = Compile(source.substr(0, length), &image, &messages);
    ExpectWellFormedMessages(messages);
    if (!ok) {
      EXPECT_NE(messages.find("error:"), std::string::npos) << "length " << length;
    }
  }
}

TEST(Robustness, RandomBytesAndShuffledTokens) {
  std::mt19937 random(1234);
  const char* const pieces[] = {"key", "tree", "node", "list", "row", "selector", "category",
                                "Sequence", "SettingSwitch", "case", "range", "default", "use",
                                "{", "}", "[", "]", "(", ")", ":", ",", "=", "@", "-", "..",
                                "1", "0x5008", "\"DS\"", "Bytes", "x", "\n", "mask", "AllTrees"};
  for (int round = 0; round < 300; ++round) {
    std::string garbage;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) {
      if (round % 2 == 0) {
        garbage += static_cast<char>(random() % 256);
      } else {
        garbage += pieces[random() % std::size(pieces)];
        garbage += ' ';
      }
    }
    OwnedImage image;
    std::string messages;
    Compile(garbage, &image, &messages);  // must return; either outcome is fine
    if (round % 2 == 1) ExpectWellFormedMessages(messages);
  }
}

TEST(Robustness, NastyInputs) {
  std::string deep = "key 1 = ";
  for (int i = 0; i < 100000; ++i) deep += "Sequence { ";
  ExpectFailsCleanly(deep);
  EXPECT_NE(dbc_test::Messages(deep).find("nodes nested deeper than 200 levels"), std::string::npos);

  // A chain of uses far deeper than the machine stack would allow to recurse through.
  std::string chain = "key 1 = use n0\n";
  for (int i = 0; i < 20000; ++i) {
    chain += "node n" + std::to_string(i) + " for 1 = Sequence { use n" + std::to_string(i + 1) + " }\n";
  }
  chain += "node n20000 for 1 = SignedBytes [1]\n";
  ExpectFailsCleanly(chain);
  EXPECT_NE(dbc_test::Messages(chain).find("has 20001 nodes; the evaluator allows 64"), std::string::npos);
  ExpectFailsCleanly(chain + "node loop for 1 = Sequence { use n0 }\nnode n20001 for 1 = use loop\n");

  ExpectFailsCleanly("key 99999999999999999999999 = Bytes \"x\"\n");
  ExpectFailsCleanly("key 1 = Bytes \"\\x");
  ExpectFailsCleanly(std::string("key 1 = Bytes \"a\0b\" \0\0 }", 24));
  ExpectFailsCleanly("key 1 = SettingSwitch 0 { case 1, : Bytes \"x\" }");
  ExpectFailsCleanly("key 1 = Sequence { use }");
  ExpectFailsCleanly("key 1 = - ");
  ExpectFailsCleanly("row 1 { pad 70000 }");
  ExpectFailsCleanly("row 1 { zeros 4 pad 2 }");
  ExpectFailsCleanly("selector (4=1, 4=2) rows (0,0,0,0)");
  ExpectFailsCleanly("key 1 = a: use b\n");
  ExpectFailsCleanly("key 1 as r = use r\n");
}

TEST(Robustness, DecompilerAndChecksSurviveBrokenImages) {
  OwnedImage sound;
  std::string messages;
  ASSERT_TRUE(Compile(kRichSource, &sound, &messages)) << messages;
  std::mt19937 random(99);
  for (int round = 0; round < 500; ++round) {
    OwnedImage image = sound;
    for (int k = 0; k < 3; ++k) {
      mdb::DbNode& node = image.nodes[random() % image.nodes.size()];
      const uint32_t bits = static_cast<uint32_t>(random());
      switch (random() % 4) {
        case 0: node.tag = bits; break;
        case 1: node.value = bits; break;
        case 2: node.tag = (bits & 0xFF000000u) | (node.tag & 0x00FFFFFFu); break;
        default: node.tag = (node.tag & 0xFF000000u) | (bits % 64); break;
      }
    }
    if (round % 5 == 0) image.directoryRoots[random() % image.directoryRoots.size()] = static_cast<uint32_t>(random() % 64);
    const mdb::DbImage view = dbc::ViewOf(image);
    dbc::CheckImage(view);
    EXPECT_FALSE(dbc::DecompileImage(view).empty());
  }
  // Tables absent while their counts say otherwise.
  mdb::DbImage empty{};
  for (uint32_t& c : empty.counts) c = 7;
  EXPECT_FALSE(dbc::CheckImage(empty).empty());
  EXPECT_NE(dbc::DecompileImage(empty).find("# problem: the node table is absent"), std::string::npos);
}

}  // namespace
