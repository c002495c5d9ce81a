// Objects of other HMI documents: the running HMI first, then the file.
#include <gtest/gtest.h>

#include "driver/settings.h"
#include "hmi/standin_host.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "reader_fixture.h"

namespace quillon {
namespace {

constexpr char kTables[] = R"({"name": "Tables", "objects": [
    {"class": "Lookup", "name": "Lookup1", "lookup": {"levels": [{"in": 1, "out": 255}]}}]})";

class ExternalTest : public ReaderTest {
 protected:
  ExternalTest() {
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.path());
    reader.set_registry(&registry);
    reader.set_host(&host);
  }
  void WriteTables(const std::string& text = kTables) {
    ASSERT_TRUE(WriteTextFile(dir.File("Tables.qvg"), text, WriteMode::kTruncate).ok());
  }
  std::string FullName(const hmi::ComPtr<hmi::IHmiObject>& object) {
    std::string name;
    if (object) object->FullyQualifiedName(&name);
    return name;
  }

  MemoryRegistry registry;
  standin::StandInHost host;
};

TEST_F(ExternalTest, AnOpenDocumentIsAskedFirstAndTheFileNotTouched) {
  WriteTables();
  std::string error;
  ASSERT_EQ(host.OpenInApplication(dir.File("Tables.qvg"), &error), hmi::S_OK) << error;
  std::remove(dir.File("Tables.qvg").c_str());
  hmi::ComPtr<hmi::IHmiObject> object;
  EXPECT_EQ(reader.FindExternalObject("Tables.Lookup1.Value", &object), 0);
  EXPECT_EQ(FullName(object), "Tables.Lookup1");
  EXPECT_EQ(Log(), "");
}

TEST_F(ExternalTest, WithNothingOpenTheDocumentFileIsLoaded) {
  WriteTables();
  hmi::ComPtr<hmi::IHmiObject> object;
  EXPECT_EQ(reader.FindExternalObject("Tables.Lookup1.Value", &object), 0);
  EXPECT_EQ(FullName(object), "Tables.Lookup1");
  object = nullptr;
  EXPECT_EQ(reader.FindExternalObject("Tables.Lookup1", &object), 0) << "two parts: whole name";
  reader.ReleaseExternalDocument();
}

TEST_F(ExternalTest, AMissReleasesTheDocument) {
  WriteTables();
  const size_t before = standin::LiveObjectCount();
  hmi::ComPtr<hmi::IHmiObject> object;
  EXPECT_LT(reader.FindExternalObject("Tables.Missing.Value", &object), 0);
  EXPECT_FALSE(object);
  EXPECT_EQ(standin::LiveObjectCount(), before);
  EXPECT_EQ(Log(), "") << "the caller reports the miss";
}

TEST_F(ExternalTest, FailuresHaveTheirMessages) {
  struct Case {
    std::string file;  // empty: no file
    std::string reference;
    int message;
  };
  const Case cases[] = {
      {"", "Tables.Lookup1", 73},
      {"not a document", "Tables.Lookup1", 75},
      {R"({"fail": ["Load"]})", "Tables.Lookup1", 75},
  };
  for (const Case& c : cases) {
    std::remove(dir.File("Tables.qvg").c_str());
    if (!c.file.empty()) WriteTables(c.file);
    const std::string before = Log();
    hmi::ComPtr<hmi::IHmiObject> object;
    EXPECT_LT(reader.FindExternalObject(c.reference, &object), 0) << c.file;
    EXPECT_FALSE(object);
    EXPECT_EQ(Log().substr(before.size()), Text(82) + Text(c.message) + "\r\n") << c.file;
    reader.ReleaseExternalDocument();
  }
}

TEST_F(ExternalTest, AReferenceWithoutADocumentIsAMissWithoutAsking) {
  hmi::ComPtr<hmi::IHmiObject> object;
  EXPECT_LT(reader.FindExternalObject("Lookup1", &object), 0);
  EXPECT_FALSE(object);
  EXPECT_EQ(Log(), "");
}

TEST_F(ExternalTest, WithoutAPictureDirectoryTheResultIsOne) {
  registry.SetFailure(MemoryRegistry::Operation::kCreate, "PICPATH");
  hmi::ComPtr<hmi::IHmiObject> object;
  EXPECT_EQ(reader.FindExternalObject("Tables.Lookup1", &object), 1);
  EXPECT_NE(Log().find(Text(82) + Text(72) + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quillon
