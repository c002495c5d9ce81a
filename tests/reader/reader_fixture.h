// A picture reader over a stand-in picture document, for the reader tests.
#ifndef QUILLON_TESTS_READER_READER_FIXTURE_H_
#define QUILLON_TESTS_READER_READER_FIXTURE_H_

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/conversion_log.h"
#include "hmi/document.h"
#include "reader/picture_reader.h"
#include "support/test_env.h"

namespace quillon {

// Counts what the walk hands to the animation reader.
class RecordingConnections : public ConnectionReader {
 public:
  int ReadConnections(PictureReader*, hmi::IHmiObject* object) override {
    std::string name;
    object->Name(&name);
    connections.push_back(name);
    return 0;
  }
  int ReadVariable(PictureReader*, hmi::IHmiObject* object, const std::string& category) override {
    std::string name;
    object->Name(&name);
    variables.push_back(name + "/" + category);
    return 0;
  }
  int ReadPen(PictureReader*, hmi::IHmiObject* pen, const std::string& extra) override {
    std::string name;
    pen->Name(&name);
    pens.push_back(name + extra);
    return 0;
  }
  std::vector<std::string> connections;
  std::vector<std::string> variables;
  std::vector<std::string> pens;  // name + the text handed over
};

class ReaderTest : public ::testing::Test {
 protected:
  ReaderTest() {
    log.StartLog("Pic1.Log", "Pic1", dir.path() + "/", "", nullptr,
                 ConversionLog::Banner::kWriter);
    banner = ReadFile(dir.File("Pic1.Log"));
    reader.PrepareClassTable();
  }

  // Loads `json` as the picture and binds the reader to it.
  void Load(const std::string& json) {
    document = hmi::MakeCom<standin::Document>();
    ASSERT_EQ(document->LoadText(json, "/pictures/Pic1.grf"), hmi::S_OK)
        << document->load_error();
    ASSERT_EQ(reader.ReadPictureProperties(document->Dispatch().get()), hmi::S_OK);
  }

  // Loads a picture whose only objects are `objects` (a JSON array text).
  void LoadObjects(const std::string& objects) {
    Load(R"({"name": "Pic1", "width": 800, "height": 600, "objects": )" + objects + "}");
  }

  int Walk() { return reader.ReadObjects(reader.top_collection(), ""); }

  // The record stored under `key`, or "<missing>".
  std::string Record(const std::string& key) const {
    const std::string* record = const_cast<PictureReader&>(reader).picture_map()->Find(key);
    return record != nullptr ? *record : "<missing>";
  }
  // The value of `property` in the record under `key`, or "<missing>".
  std::string Value(const std::string& key, const std::string& property) const {
    PropertyMap properties;
    ParseRecord(Record(key), &properties);
    const std::string* value = properties.Find(property);
    return value != nullptr ? *value : "<missing>";
  }
  // The object `name` of the loaded picture.
  hmi::ComPtr<hmi::IHmiObject> Object(const std::string& name) {
    hmi::ComPtr<hmi::IHmiObject> object;
    EXPECT_EQ(document->Object()->ObjectByName(name, &object), hmi::S_OK) << name;
    return object;
  }
  // What the log holds after its banner.
  std::string Log() const { return ReadFile(dir.File("Pic1.Log")).substr(banner.size()); }
  std::string Text(int id) const { return env.Text(id); }

  TestServices env;
  TempDir dir;
  ConversionLog log{&env.services};
  RecordingConnections connections;
  PictureReader reader{&log, &connections};
  hmi::ComPtr<standin::Document> document;
  std::string banner;
};

}  // namespace quillon

#endif  // QUILLON_TESTS_READER_READER_FIXTURE_H_
