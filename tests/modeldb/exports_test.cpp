// The six exports of libmodeldb.so, on the shipped image and the spooler stand-in.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modeldb.h"
#include "mpxspool.h"

namespace {

using ExportFn = int32_t (MPX_CALL*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);

struct Export {
  const char* name;
  ExportFn fn;
  uint32_t firstKey;
};

const Export kExports[] = {
    {"MPX_AccessRootDataBase", MPX_AccessRootDataBase, 0x0001},
    {"MPX_AccessDrvDataBase", MPX_AccessDrvDataBase, 0x1001},
    {"MPX_AccessLMDataBase", MPX_AccessLMDataBase, 0x2001},
    {"MPX_AccessMntDataBase", MPX_AccessMntDataBase, 0x3001},
    {"MPX_AccessPADataBase", MPX_AccessPADataBase, 0x4001},
    {"MPX_AccessSMDataBase", MPX_AccessSMDataBase, 0x6001},
};

// A spooler store of its own with one printer, "Desk".
class Exports : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/modeldb-exports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    store = pattern;
    std::ofstream(store / "Desk.ini") << "VrdUI_SilentModeEnable=1\n";
    setenv("MPX_SPOOL_DIR", store.c_str(), 1);
    handlesBefore = MpxSpoolOpenHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(MpxSpoolOpenHandleCount(), handlesBefore);
    unsetenv("MPX_SPOOL_DIR");
    std::filesystem::remove_all(store);
  }
  std::filesystem::path store;
  uint32_t handlesBefore = 0;
};

TEST_F(Exports, AnswerStoredValuesWithTheSizeProtocol) {
  const QueryContext context{};
  uint32_t size = 0;
  ASSERT_EQ(MPX_AccessRootDataBase(0x0002, &context, 0, nullptr, &size), MPX_BUFFER_TOO_SMALL);
  ASSERT_EQ(size, 10u);
  std::vector<uint8_t> text(size);
  ASSERT_EQ(MPX_AccessRootDataBase(0x0002, &context, size, text.data(), &size), MPX_OK);
  EXPECT_EQ(text, (std::vector<uint8_t>{'1', 0, '.', 0, '5', 0, '2', 0, 0, 0}));

  uint8_t pair[8];
  ASSERT_EQ(MPX_AccessDrvDataBase(0x00011006, &context, sizeof pair, pair, &size), MPX_OK);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(std::vector<uint8_t>(pair, pair + 8),
            (std::vector<uint8_t>{0x28, 0x23, 0x00, 0x00, 0xE0, 0x2E, 0x00, 0x00}));
}

TEST_F(Exports, EveryExportChecksContextThenRange) {
  const QueryContext context{};
  for (const Export& e : kExports) {
    uint32_t size = 0xDEADBEEF;
    EXPECT_EQ(e.fn(0x5008, nullptr, 0, nullptr, &size), MPX_ERR_CONTEXT) << e.name;
    EXPECT_EQ(e.fn(0x5008, &context, 0, nullptr, &size), MPX_NO_ANSWER) << e.name;
    EXPECT_EQ(e.fn(e.firstKey - 1, &context, 0, nullptr, &size), MPX_NO_ANSWER) << e.name;
    EXPECT_EQ(e.fn(e.firstKey + 0x0FFF, &context, 0, nullptr, &size), MPX_NO_ANSWER) << e.name;
    EXPECT_EQ(size, 0xDEADBEEF) << e.name;
  }
}

TEST_F(Exports, PrinterOpenedByNameIsClosedAndCallersHandleIsNot) {
  const std::u16string name = u"Desk";
  const QueryContext byName{nullptr, 0, 0, nullptr, 0, nullptr, name.c_str()};
  uint8_t buffer[16];
  uint32_t size = 0;
  EXPECT_EQ(MPX_AccessRootDataBase(0x0002, &byName, sizeof buffer, buffer, &size), MPX_OK);
  EXPECT_EQ(MpxSpoolOpenHandleCount(), handlesBefore);

  void* handle = nullptr;
  ASSERT_NE(OpenPrinterW(name.c_str(), &handle, nullptr), 0);
  const QueryContext withHandle{handle, 0, 0, nullptr, 0, nullptr, name.c_str()};
  EXPECT_EQ(MPX_AccessDrvDataBase(0x1006, &withHandle, sizeof buffer, buffer, &size), MPX_OK);
  EXPECT_EQ(MpxSpoolOpenHandleCount(), handlesBefore + 1);
  uint32_t type = 0;
  uint32_t needed = 0;
  uint8_t value[4];
  EXPECT_EQ(GetPrinterDataW(handle, u"VrdUI_SilentModeEnable", &type, value, 4, &needed),
            MPX_ERROR_SUCCESS)
      << "the caller's handle still works";
  ClosePrinter(handle);

  const QueryContext unknown{nullptr, 0, 0, nullptr, 0, nullptr, u"Nobody"};
  EXPECT_EQ(MPX_AccessRootDataBase(0x0002, &unknown, sizeof buffer, buffer, &size), MPX_OK);
}

TEST(ExportedSymbols, OnlyTheSixQueryFunctions) {
  void* library = dlopen(MODELDB_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const Export& e : kExports) {
    EXPECT_NE(dlsym(library, e.name), nullptr) << e.name;
  }
  for (const char* internal : {"_ZN3mdb8RunQueryERKNS_8QueryEnvENS_8CategoryEjPK12QueryContextjPvPj",
                               "_ZN3mdb9LookupKeyERKNS_8QueryEnvEjPK12QueryContextPNS_6DbNodeE",
                               "_ZN3mdb12ShippedImageEv", "_ZN3mdb10ShippedEnvEv",
                               "_ZN4plat9HeapAllocEjb"}) {
    EXPECT_EQ(dlsym(library, internal), nullptr) << internal;
  }
  dlclose(library);
}

}  // namespace
