// Property names, value conversions, exclusions and the animation check.
#include "writer/value_mapping.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "driver/conversion_log.h"
#include "support/test_env.h"

namespace quillon {
namespace {

TEST(ValueMappingTest, PropertyNamesAndConversions) {
  struct Case {
    const char* hmi_name;
    const char* value;
    const char* written;  // "(viewer value)"
  };
  const Case cases[] = {
      {"BackgroundColor", "16777215", "(bgColor 0xffffff)"},
      {"BackgroundColor", "255", "(bgColor 0xff0000)"},
      {"BackgroundColor", "-1", "(bgColor 0xffffff)"},
      {"ForegroundColor", "0x10", "(fgColor 0x000000)"},  // read as decimal: 0
      {"EdgeColor", " 65280xyz", "(lineColor 0x00ff00)"},
      {"EdgeColor", "4278190335", "(lineColor 0xff0000)"},  // high bits ignored
      {"Visible", "-1", "(visibility 1)"},
      {"Visible", "0", "(visibility 0)"},
      {"Visible", "00", "(visibility 1)"},
      {"Underline", "", "(underline 1)"},
      {"RefreshRate", "0.5", "(interval 500)"},
      {"RefreshRate", "1", "(interval 1000)"},
      {"RefreshRate", "0.1", "(interval 100)"},
      {"RefreshRate", "abc", "(interval 0)"},
      {"RefreshRate", "1e300", "(interval 0)"},
      {"FontName", "Arial", "(font Helvetica)"},
      {"FontName", "Arial Black", "(font Helvetica)"},
      {"FontName", "Times New Roman", "(font TimesRoman)"},
      {"FontName", "MS Sans Serif", "(font Dialog)"},
      {"FontName", "Courier New", "(font Courier)"},
      {"FontName", "courier new", "(font Helvetica)"},
      {"FontStyle", "3", "(fontStyle bolditalic)"},
      {"FontStyle", "4", "(fontStyle plain)"},
      {"EdgeStyle", "5", "(lineStyle solid)"},
      {"EdgeStyle", "4", "(lineStyle dashdotdot)"},
      {"EdgeStyle", "1", "(lineStyle dash)"},
      {"EdgeStyle", "-3", "(lineStyle solid)"},
      {"HorizontalScaleDirection", "1", "(anchorHoriz right)"},
      {"HorizontalScaleDirection", "7", "(anchorHoriz center)"},
      {"VerticalScaleDirection", "0", "(anchorVert top)"},
      {"VerticalScaleDirection", "x", "(anchorVert top)"},
      {"HorizontalFillDirection", "0", "(fillDirectionHoriz right)"},
      {"HorizontalFillDirection", "2", "(fillDirectionHoriz left)"},
      {"VerticalFillDirection", "1", "(fillDirectionVert up)"},
      {"Alignment", "1", "(justify center)"},
      {"Alignment", "2", "(justify right)"},
      {"Alignment", "0", "(justify left)"},
      {"RotationAngle", "45", "(rotateAngle 45)"},
      {"Caption", "", "(text \"\")"},
      {"Caption", "Pump \"A\"", "(text \"Pump \\\"A\\\"\")"},
      {"Source", "DS.N.T.F_CV", "(in \"DS.N.T.F_CV\")"},
      {"Duration", "60", "(span 60)"},
      {"CurrentImage", "2", "(file 2)"},
      {"timeLabelColor", "0x00ff00", "(timeLabelColor 0x00ff00)"},
      {"majorTimeDivColor", "255", "(majorTimeDivColor 0xff0000)"},
      {"PenLineColor", "16711680", "(PenColor 0x0000ff)"},
      {"order", "0,1", "(order 0,1)"},
  };
  for (const Case& c : cases) {
    std::string viewer;
    int kind = -1;
    ASSERT_EQ(MapPropertyName(c.hmi_name, &viewer, &kind), 1) << c.hmi_name;
    std::string value = c.value;
    ConvertValue(kind, &value);
    EXPECT_EQ("(" + viewer + " " + value + ")", c.written) << c.hmi_name << " " << c.value;
  }
}

TEST(ValueMappingTest, UnmappedNamesAndKindResults) {
  std::string viewer = "stale";
  int kind = 9;
  EXPECT_EQ(MapPropertyName("", &viewer, &kind), 0);
  EXPECT_EQ(viewer, "");
  EXPECT_EQ(kind, 0);
  for (const char* name : {"Name", "ClassName", "width", "ShowTimeAxis", "FileExt"}) {
    EXPECT_EQ(MapPropertyName(name, &viewer, &kind), 0) << name;
  }
  std::string value = "7";
  EXPECT_EQ(ConvertValue(kAngle, &value), 0);
  EXPECT_EQ(ConvertValue(14, &value), 0);
  EXPECT_EQ(ConvertValue(-1, &value), 0);
  EXPECT_EQ(value, "7");
  for (int k = 0; k <= 13; ++k) {
    if (k == kAngle) continue;
    std::string v = "1";
    EXPECT_EQ(ConvertValue(k, &v), 1) << k;
  }
  EXPECT_EQ(ColorToHex(0x00332211), "0x112233");
  EXPECT_EQ(ColorToHex(-1), "0xffffff");
  // Every byte value in every place, against printf's "0x%02x%02x%02x".
  for (long byte = 0; byte < 256; byte += 5) {
    for (int shift : {0, 8, 16, 24}) {
      const long color = (byte << shift) | 0x0a0b0c;
      char expected[16];
      std::snprintf(expected, sizeof expected, "0x%02x%02x%02x",
                    static_cast<unsigned>(color & 0xff), static_cast<unsigned>((color >> 8) & 0xff),
                    static_cast<unsigned>((color >> 16) & 0xff));
      EXPECT_EQ(ColorToHex(color), expected) << color;
    }
  }
}

TEST(ValueMappingTest, ExclusionsAreConsumedOncePerName) {
  ExclusionList list;
  EXPECT_EQ(SelectExclusions("Rect", &list), 1);
  EXPECT_EQ(list, (ExclusionList{"VerticalScalePercentage", "HorizontalScalePercentage"}));
  EXPECT_EQ(IsExcluded("VerticalScalePercentage", &list), 1);
  EXPECT_EQ(IsExcluded("VerticalScalePercentage", &list), 0);
  EXPECT_EQ(SelectExclusions("", &list), 0);
  EXPECT_EQ(list.size(), 1u) << "an empty class leaves the list alone";
  EXPECT_EQ(SelectExclusions("Group", &list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(SelectExclusions("Text", &list), 1);
  for (const char* name : {"FontSize", "EdgeColor", "format"}) {
    EXPECT_EQ(IsExcluded(name, &list), 1) << name;
  }
  EXPECT_EQ(SelectExclusions("Chart", &list), 1);
  EXPECT_EQ(list.front(), "HorizontalScaleDirection");
  EXPECT_EQ(SelectExclusions("Bitmap", &list), 1);
  EXPECT_EQ(list.front(), "CurrentImage");
  EXPECT_EQ(SelectExclusions("rect", &list), 0);
}

// ClassExcludes says what a list just selected for the class says, for
// every class of the table, some without one, and names in and out of it.
TEST(ValueMappingTest, ClassExcludesAgreesWithASelectedList) {
  const char* const classes[] = {"Chart", "Line",   "Text",          "PolyLine", "Arc",
                                 "Pie",   "DataLink", "Bitmap",      "Rect",     "RoundRect",
                                 "Oval",  "Polygon", "CommandButton", "AlarmSummary",
                                 "Group", "Lookup",  "",              "rect"};
  const char* const names[] = {"VerticalScalePercentage", "HorizontalScalePercentage",
                               "BackgroundColor",         "EdgeWidth",
                               "CurrentImage",            "StartX",
                               "format",                  "rotateOffsetY",
                               "Name",                    "",
                               "BackColor",               "HorizontalScaleDirection"};
  for (const char* class_name : classes) {
    for (const char* name : names) {
      ExclusionList list;
      SelectExclusions(class_name, &list);
      EXPECT_EQ(ClassExcludes(class_name, name), IsExcluded(name, &list) == 1)
          << class_name << " " << name;
    }
  }
}

TEST(ValueMappingTest, CheckAnimatedProperty) {
  struct Case {
    const char* animation;
    const char* property;
    const char* parent_property;
    const char* parent_class;
    int accepted;
    int reason;  // resource string of the queued line
  };
  const Case cases[] = {
      {"Linear", "ForegroundColor", "", "Rect", 0, 55},
      {"Linear", "FontSize", "", "Rect", 0, 53},
      {"Linear", "FontSize", "", "Chart", 1, 0},
      {"Lookup", "Width", "FontSize", "Text", 0, 53},
      {"Linear", "NoSuchProperty", "", "Rect", 0, 54},
      {"Linear", "HorizontalPosition", "", "Rect", 1, 0},
      {"Linear", "Caption", "", "Text", 0, 55},
      {"Format", "Caption", "", "Text", 1, 0},
      {"Format", "FontName", "", "Text", 0, 55},
      {"GlobalSysInfo", "FontName", "", "Text", 1, 0},
      {"COpcDataItem", "Alignment", "", "Text", 0, 55},
      {"Linear", "CurrentImage", "", "Bitmap", 0, 55},
      {"Format", "CurrentImage", "", "Bitmap", 0, 55},
      {"Lookup", "CurrentImage", "", "Bitmap", 1, 0},
      {"Lookup", "ForegroundColor", "", "Rect", 1, 0},
  };
  for (const Case& c : cases) {
    TestServices env;
    ConversionLog log(&env.services);
    PropertyMap record;
    record.Set("ClassName", c.animation);
    record.Set("PropertyName", c.property);
    if (*c.parent_property) record.Set("ParentProperty", c.parent_property);
    record.Set("ParentClassName", c.parent_class);
    EXPECT_EQ(CheckAnimatedProperty(record, &log), c.accepted) << c.animation << " " << c.property;
    if (c.accepted) {
      EXPECT_TRUE(log.pending().empty());
    } else {
      ASSERT_EQ(log.pending().size(), 1u);
      EXPECT_EQ(log.pending()[0], env.Text(80) + c.property + env.Text(c.reason));
    }
  }
}

}  // namespace
}  // namespace quillon
