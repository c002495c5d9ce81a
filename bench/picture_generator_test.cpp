// The generated pictures: the same bytes for the same options, exactly N
// shapes, the mix of classes, groups and animations that the measurements
// rely on, and a conversion that runs without a single complaint.
#include "picture_generator.h"

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"

namespace quillon {
namespace bench {
namespace {

using Json = nlohmann::json;

std::string Generate(int objects, uint64_t seed = 1, const std::string& name = "Bench",
                     GeneratorStats* stats = nullptr) {
  GeneratorOptions options;
  options.objects = objects;
  options.seed = seed;
  options.name = name;
  return GeneratePictureDocument(options, stats);
}

// Calls `visit` for every shape of the picture (group members included) with
// its group depth: 0 for top-level shapes.
void ForEachShape(const Json& objects, int depth,
                  const std::function<void(const Json&, int)>& visit) {
  for (const Json& object : objects) {
    visit(object, depth);
    if (object.at("class") == "Group") ForEachShape(object.at("objects"), depth + 1, visit);
  }
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs the generator program with `arguments`; its exit status, and what it
// printed on standard output and standard error in *output.
int RunGenerator(const std::string& arguments, std::string* output) {
  const std::string command = std::string(QUILLON_GENERATE_PROGRAM) + " " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  output->clear();
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

TEST(PictureGeneratorTest, TheSameOptionsGiveTheSameBytes) {
  const std::string first = Generate(500);
  EXPECT_EQ(first, Generate(500));
  EXPECT_NE(first, Generate(500, 2)) << "another seed, another picture";
  EXPECT_EQ(Json::parse(Generate(500, 1, "Plant")).at("name"), "Plant");
}

TEST(PictureGeneratorTest, ThePictureHoldsExactlyNShapes) {
  for (int objects : {1, 2, 3, 4, 5, 6, 17, 250, 3000}) {
    GeneratorStats stats;
    const Json document = Json::parse(Generate(objects, 7, "Bench", &stats));
    int shapes = 0, groups = 0;
    ForEachShape(document.at("objects"), 0, [&](const Json& object, int) {
      ++shapes;
      if (object.at("class") == "Group") ++groups;
    });
    EXPECT_EQ(shapes, objects) << objects;
    EXPECT_EQ(stats.shapes, objects) << objects;
    EXPECT_EQ(stats.groups, groups) << objects;
  }
}

TEST(PictureGeneratorTest, ThePictureHasAPlantLikeMix) {
  constexpr int kObjects = 5000;
  GeneratorStats stats;
  const Json document = Json::parse(Generate(kObjects, 1, "Bench", &stats));
  std::map<std::string, int> classes, animations;
  int grouped = 0, deepest = 0, animated = 0, multi_line = 0;
  ForEachShape(document.at("objects"), 0, [&](const Json& object, int depth) {
    std::string kind = object.at("class");
    if (kind == "OleObject") {
      kind = object.at("progId") == "HmiAlarmSummary.Control.1" ? "AlarmSummary" : "Button";
      if (kind == "AlarmSummary") {
        EXPECT_FALSE(object.at("columnHeadings").get<std::string>().empty());
      } else {
        EXPECT_EQ(object.at("progId"), "Forms.CommandButton.1");
      }
    }
    ++classes[kind];
    if (depth > 0) ++grouped;
    deepest = std::max(deepest, depth);
    if (kind == "Text" && object.at("properties").at("NumberOfLines") > 1) ++multi_line;
    if (kind == "Bitmap") {
      for (const Json& image : object.at("images")) {
        EXPECT_EQ(image.at("primary").at("width"), 16);
        EXPECT_EQ(image.at("secondary").at("height"), 16);
      }
    }
    if (kind == "Chart") {
      EXPECT_FALSE(object.at("pens").empty());
      for (const Json& pen : object.at("pens")) {
        EXPECT_TRUE(pen.at("properties").contains("Source"));
      }
    }
    if (kind == "DataLink") {
      EXPECT_TRUE(object.at("objects")[0].contains("dataLinkSource"));
    }
    if (!object.contains("connections")) return;
    ++animated;
    EXPECT_LE(object.at("connections").size(), 2u) << object.at("name");
    for (const Json& connection : object.at("connections")) {
      const Json& source = connection.at("objects")[0];
      std::string what = source.at("class").get<std::string>() + " on " +
                         connection.at("property").get<std::string>();
      if (source.at("class") == "Lookup") {
        what += source.at("lookup").at("exactMatch") == true ? " exact" : " range";
      }
      ++animations[what];
    }
  });

  const double grouped_share = static_cast<double>(grouped) / kObjects;
  EXPECT_GE(grouped_share, 0.05);
  EXPECT_LE(grouped_share, 0.10);
  EXPECT_EQ(grouped, stats.grouped);
  EXPECT_EQ(deepest, 2) << "some groups are nested two deep, none deeper";
  EXPECT_GE(animated, kObjects * 7 / 10) << "most objects are animated";
  EXPECT_EQ(animated, stats.animated);
  EXPECT_GT(multi_line, 0);
  for (const char* kind : {"Rect", "Oval", "Line", "PolyLine", "Polygon", "Text", "DataLink", "Arc",
                           "RoundRect", "Chart", "Bitmap", "AlarmSummary", "Button", "Group"}) {
    EXPECT_GT(classes[kind], 0) << kind;
  }
  EXPECT_GT(classes["Rect"], classes["Chart"] * 10) << "charts and controls are a few";
  for (const char* what :
       {"Lookup on ForegroundColor exact", "Lookup on ForegroundColor range",
        "Linear on HorizontalPosition", "Linear on VerticalFillPercentage", "Format on Caption",
        "DataItem on Visible", "DataItem on Caption", "GlobalSysInfo on Caption",
        "Lookup on CurrentImage exact"}) {
    EXPECT_GT(animations[what], 0) << what;
  }
}

TEST(PictureGeneratorTest, NamesAreUniqueInThePicture) {
  const Json document = Json::parse(Generate(3000));
  std::set<std::string> names;
  std::function<void(const Json&)> collect = [&](const Json& objects) {
    for (const Json& object : objects) {
      // Data items are named after their tag, which objects share.
      if (object.at("class") != "DataItem" || object.contains("dataLinkSource")) {
        EXPECT_TRUE(names.insert(Lower(object.at("name"))).second) << object.at("name");
      }
      if (object.contains("objects")) collect(object.at("objects"));
      if (object.contains("pens")) collect(object.at("pens"));
      if (object.contains("connections")) {
        for (const Json& connection : object.at("connections")) collect(connection.at("objects"));
      }
    }
  };
  collect(document.at("objects"));
}

TEST(PictureGeneratorTest, TheProgramWritesTheDocumentOrSaysWhatIsWrong) {
  ConversionSetting scratch;  // only for its folder
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch.pictures() + "/Area7.grf";
  std::string output;
  ASSERT_EQ(RunGenerator("--seed 3 120 " + path, &output), 0) << output;
  EXPECT_EQ(ReadAll(path), Generate(120, 3, "Area7")) << "named after the file";
  ASSERT_EQ(RunGenerator("--name Plant 5 -", &output), 0);
  EXPECT_EQ(output, Generate(5, 1, "Plant"));

  struct Case {
    std::string arguments;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {"", 2, "N and OUTPUT are required"},
      {"10", 2, "N and OUTPUT are required"},
      {"0 -", 2, "N must be a whole number"},
      {"-5 -", 2, "unknown option -5"},
      {"12x -", 2, "N must be a whole number"},
      {"10 - extra", 2, "too many arguments"},
      {"--seed -", 2, "--seed needs a whole number"},
      {"--seed 1.5 10 -", 2, "--seed needs a whole number"},
      {"--name", 2, "--name needs a name"},
      {"--fast 10 -", 2, "unknown option --fast"},
      {"10 " + scratch.pictures() + "/missing/x.grf", 1, "cannot create"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunGenerator(c.arguments, &output), c.status) << c.arguments;
    EXPECT_NE(output.find(c.says), std::string::npos) << c.arguments << ": " << output;
  }
  EXPECT_EQ(RunGenerator("--help", &output), 0);
  EXPECT_NE(output.find("usage: quillon-generate"), std::string::npos);
}

TEST(PictureGeneratorTest, EveryTimedConversionWritesTheSamePage) {
  // Viewer objects are numbered afresh for each conversion, so repeated
  // iterations of the benchmark do the same work.
  ConversionSetting setting;
  ASSERT_TRUE(setting.ready());
  const std::string path = setting.WritePicture("Bench", Generate(300, 5));
  ASSERT_EQ(setting.Convert(path), 1);
  const std::string first = ReadAll(setting.output() + "/Bench.JDF");
  ASSERT_NE(first.find("(TAVScale-"), std::string::npos) << "numbered scale stages to compare";
  setting.ClearOutput();
  EXPECT_TRUE(ReadAll(setting.output() + "/Bench.JDF").empty());
  ASSERT_EQ(setting.Convert(path), 1);
  EXPECT_EQ(ReadAll(setting.output() + "/Bench.JDF"), first);
}

TEST(PictureGeneratorTest, AGeneratedPictureConvertsWithoutComplaint) {
  ConversionSetting setting;
  ASSERT_TRUE(setting.ready());
  const std::string path = setting.WritePicture("Bench", Generate(400));
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(setting.Convert(path), 1);

  EXPECT_FALSE(ReadAll(setting.output() + "/Bench.JDF").empty());
  const std::string log = ReadAll(setting.output() + "/Bench.Log");
  ASSERT_FALSE(log.empty());
  // No object is reported: no heading, no error or warning line.
  const std::string heading = setting.Text(83).substr(0, setting.Text(83).find('%'));
  for (const std::string& text : {heading, setting.Text(80), setting.Text(81), setting.Text(82)}) {
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(log.find(text), std::string::npos) << text << "\n" << log;
  }
  EXPECT_EQ(setting.ui().message_boxes, 0);
  EXPECT_GT(setting.ui().dialogs, 0) << "the clocks ask for their node";
}

}  // namespace
}  // namespace bench
}  // namespace quillon
