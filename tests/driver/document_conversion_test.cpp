// Small picture documents converted end to end through the stand-in HMI,
// the reader and the page writer: each checks one detail of the page or
// the log that only shows when everything runs together.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "driver/picture_converter.h"
#include "driver/settings.h"
#include "hmi/standin_host.h"
#include "platform/format.h"
#include "platform/imaging.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "support/test_env.h"

namespace quillon {
namespace {

class DocumentConversionTest : public ::testing::Test {
 protected:
  DocumentConversionTest() {
    ::mkdir(dir.File("pics").c_str(), 0755);
    ::mkdir(dir.File("out").c_str(), 0755);
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.File("pics"));
    registry.Put(RegistryRoot::kClassesRoot, kWebOutPathKey, "", dir.File("out"));
    // The local data source "DS", so that references translate.
    const std::string source = "QEV32\\DataSources\\Local";
    registry.Put(RegistryRoot::kClassesRoot, source, "", "DS");
    registry.Put(RegistryRoot::kClassesRoot, source, "OpcProgID", "Velquist.OPCEDA");
    registry.Put(RegistryRoot::kClassesRoot, source, "OpcServerMachineName", "");
    registry.Put(RegistryRoot::kClassesRoot, "Software\\Qev Dynamics\\NODENAME", "", "NODE1");
    host.set_clipboard(&clipboard);
    context.services = env.services;
    context.registry = &registry;
    context.hmi = &host;
    context.clipboard = &clipboard;
    context.state = &state;
  }
  // Writes `text` as pics/NAME and converts it; the result of the run.
  int Convert(const std::string& name, const std::string& text) {
    EXPECT_TRUE(WriteTextFile(dir.File("pics/" + name), text, WriteMode::kTruncate).ok());
    return RunConvertQevPicFile(context, dir.File("pics/" + name), nullptr, 0, 1);
  }
  std::string Out(const std::string& name) const { return ReadFile(dir.File("out/" + name)); }

  TestServices env;
  TempDir dir;
  MemoryRegistry registry;
  Clipboard clipboard;
  standin::StandInHost host;
  ProcessState state;
  RunContext context;
};

// A variable fed by a lookup whose levels and whole output both blink takes
// its value from the first object of the chain, not from the last blinker.
TEST_F(DocumentConversionTest, AVariableTakesTheFirstObjectOfABlinkingLookup) {
  const std::string picture = R"({"name": "PicV", "objects": [
    {"class": "Rect", "name": "Rect1"},
    {"class": "Variable", "name": "Var1", "connections": [
      {"property": "CurrentValue", "source": "DS.NODE1.PUMP1.F_CV", "objects": [
        {"class": "Lookup", "name": "Lookup2",
         "properties": {"Source": "DS.NODE1.PUMP1.F_CV", "DefaultOutputValue": 0, "ToggleRate": 1.0,
                        "GlobalToggle": 0, "GlobalOutputToggle": 1, "ToggleSource": "DS.NODE1.BLINK.F_CV"},
         "lookup": {"levels": [{"in": 0, "out": 10, "toggle": 20}, {"in": 1, "out": 30, "toggle": 40}],
                    "outputToggles": 1, "exactMatch": true, "tolerance": 0.0, "sourceDataType": 3}}]}]}]})";
  ASSERT_EQ(Convert("PicV.grf", picture), 1);
  const std::string jdf = Out("PicV.JDF");
  EXPECT_NE(jdf.find("\t(Var1.expval[0] Lookup21.out)\r\n"), std::string::npos) << jdf;
  EXPECT_EQ(jdf.find("Var1.expval[0] Lookup24.out"), std::string::npos) << jdf;
  // The chain itself is whole: the fourth object still blinks the first.
  EXPECT_NE(jdf.find("\t(Lookup24.OffValue Lookup21.out)\r\n"), std::string::npos) << jdf;
}

// A shared-table document that refuses to be loaded from its file is a
// table not found: its document object is missing, and the lookup is lost.
TEST_F(DocumentConversionTest, ASharedTableDocumentThatRefusesLoadingIsNotUsed) {
  const std::string tables = R"({"name": "Tables", "refuse": ["PersistStorage"], "objects": [
    {"class": "Lookup", "name": "PumpColors",
     "lookup": {"exactMatch": true, "sourceDataType": 3,
                "levels": [{"in": 0, "out": 8421504}, {"in": 1, "out": 65280}]},
     "properties": {"Source": " ", "DefaultOutputValue": 0, "ToggleRate": 0.5, "GlobalToggle": 0,
                    "GlobalOutputToggle": 0, "ToggleSource": " "}}]})";
  ASSERT_TRUE(WriteTextFile(dir.File("pics/Tables.qvg"), tables, WriteMode::kTruncate).ok());
  const std::string picture = R"({"name": "PicT", "objects": [
    {"class": "Oval", "name": "Pump1",
     "properties": {"HorizontalPosition": 20.0, "VerticalPosition": 30.0, "Width": 60.0, "Height": 60.0,
                    "ForegroundColor": 8421504},
     "connections": [{"property": "ForegroundColor", "source": "DS.NODE1.PUMP1.F_CV", "objects": [
       {"class": "Lookup", "name": "Pump1Color",
        "properties": {"Source": "DS.NODE1.PUMP1.F_CV", "DefaultOutputValue": 8421504, "ToggleRate": 0.5,
                       "GlobalToggle": 0, "GlobalOutputToggle": 0, "ToggleSource": " "},
        "lookup": {"sharedTable": "Tables.PumpColors"}}]}]}]})";
  ASSERT_EQ(Convert("PicT.grf", picture), 1);
  const std::string log = Out("PicT.Log");
  EXPECT_NE(log.find(env.Text(74)), std::string::npos) << log;
  EXPECT_EQ(log.find(env.Text(75)), std::string::npos) << log;
  const std::string jdf = Out("PicT.JDF");
  EXPECT_EQ(jdf.find("TAVMap"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("(Pump1 TAVEllipse"), std::string::npos) << jdf;

  // Without the refusal the same table is found and used.
  std::string accepting = tables;
  accepting.replace(accepting.find(R"("refuse": ["PersistStorage"], )"),
                    std::string(R"("refuse": ["PersistStorage"], )").size(), "");
  ASSERT_TRUE(WriteTextFile(dir.File("pics/Tables.qvg"), accepting, WriteMode::kTruncate).ok());
  ASSERT_EQ(Convert("PicT.grf", picture), 1);
  EXPECT_NE(Out("PicT.JDF").find("TAVMap"), std::string::npos);
}

// Rotation offsets that cannot be converted to pixels are reported like any
// other pixel value, and written as 0 rather than left out.
TEST_F(DocumentConversionTest, RotationOffsetsThatCannotBeConvertedAreWrittenAsZero) {
  const std::string picture = R"({"name": "PicR", "fail": ["LogicalToPixel"], "objects": [
    {"class": "Rect", "name": "Rect1",
     "properties": {"HorizontalPosition": 20.0, "VerticalPosition": 30.0, "Width": 60.0, "Height": 40.0},
     "rotationPoint": [10.0, 10.0]}]})";
  ASSERT_EQ(Convert("PicR.grf", picture), 1);
  const std::string jdf = Out("PicR.JDF");
  EXPECT_NE(jdf.find("\t\t\t(rotateOffsetX 0)\r\n\t\t\t(rotateOffsetY 0)\r\n"), std::string::npos)
      << jdf;
  EXPECT_NE(Out("PicR.Log").find(env.Text(93)), std::string::npos);
}

}  // namespace
}  // namespace quillon
