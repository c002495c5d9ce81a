// The picture model: records, list entries and the record operations.
#include "model/picture_map.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/conversion_log.h"
#include "support/test_env.h"

namespace quillon {
namespace {

TEST(PictureMapTest, ObjectListGrowsByOneItemPerRecord) {
  PictureMap map;
  AddRecord(&map, "Rect", "Rect1", "\tName\tRect1\t");
  EXPECT_EQ(*map.Find(kObjectList), "\tRect1(Rect)\t");
  AddRecord(&map, "Oval", "Oval1", "\tName\tOval1\t");
  EXPECT_EQ(*map.Find(kObjectList), "\tRect1(Rect)\tOval1(Oval)\t");
  // The same name and class again: the record is replaced, the item listed twice.
  AddRecord(&map, "Rect", "Rect1", "\tName\tRect1\tWidth\t5\t");
  EXPECT_EQ(*map.Find("Rect1(Rect)"), "\tName\tRect1\tWidth\t5\t");
  EXPECT_EQ(*map.Find(kObjectList), "\tRect1(Rect)\tOval1(Oval)\tRect1(Rect)\t");
}

TEST(PictureMapTest, VariableOnEmptyMapIsNotListed) {
  PictureMap map;
  AppendToObjectList(&map, "Var1", "Variable");
  EXPECT_TRUE(map.empty());
  AddRecord(&map, "Rect", "Rect1", "\t");
  AppendToObjectList(&map, "Var1", "Variable");
  EXPECT_EQ(*map.Find(kObjectList), "\tRect1(Rect)\tVar1(Variable)\t");
}

TEST(PictureMapTest, SequencesAndLinks) {
  PictureMap map;
  AppendToSequence(&map, "Rect", "Rect1", kObjectSequence);
  AppendToSequence(&map, "Group", "Group1", kObjectSequence);
  AppendToSequence(&map, "Lookup", "Lookup1", kAnimationSequence);
  EXPECT_EQ(*map.Find(kObjectSequence), "\tRect1(Rect)\tGroup1(Group)\t");
  EXPECT_EQ(*map.Find(kAnimationSequence), "\tLookup1(Lookup)\t");
  AppendLink(&map, "\t(a.b c.d)\n");
  AppendLink(&map, "\t(e.f g.h)\n");
  EXPECT_EQ(*map.Find(kLinks), "\t(a.b c.d)\n\t(e.f g.h)\n");
}

TEST(PictureMapTest, MapsIterateInTheOrderKeysWereFirstStored) {
  PictureMap map;
  for (const char* key : {"z", "a", "m", "b"}) map.Set(key, "1");
  map.Set("a", "2");  // replacing keeps the place
  map.Remove("m");
  map.Set("m", "3");  // stored anew: last
  std::string order;
  for (const auto& entry : map) order += entry.first + "=" + entry.second + " ";
  EXPECT_EQ(order, "z=1 a=2 b=1 m=3 ");
  PictureMap copy = map;
  copy.Remove("z");
  EXPECT_TRUE(map.Contains("z"));
  EXPECT_EQ(copy.begin()->first, "a");
}

// A copy of a map past the size where it is searched through an index
// finds every key, iterates in the same order, and stays apart from it.
TEST(PictureMapTest, CopiesOfLargeMapsFindEveryKey) {
  for (int size : {3, 48, 49, 200}) {
    PictureMap map;
    for (int i = size - 1; i >= 0; --i) map.Set("k" + std::to_string(i), std::to_string(i));
    map.Remove("k1");
    PictureMap copy;
    copy.Set("stale", "x");
    copy = map;
    EXPECT_FALSE(copy.Contains("stale"));
    EXPECT_FALSE(copy.Contains("k1"));
    EXPECT_EQ(copy.size(), map.size());
    for (int i = 0; i < size; ++i) {
      if (i == 1) continue;
      const std::string* value = copy.Find("k" + std::to_string(i));
      ASSERT_NE(value, nullptr) << size << " " << i;
      EXPECT_EQ(*value, std::to_string(i));
    }
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), map.begin(), map.end()));
    copy.Set("k0", "changed");
    copy.Set("new", "1");
    EXPECT_EQ(*map.Find("k0"), "0");
    EXPECT_FALSE(map.Contains("new"));
    EXPECT_EQ(*copy.Find("new"), "1");
  }
}

// RecordValueOf reads one value as ParseRecord's map holds it.
TEST(PictureMapTest, RecordValueOfAgreesWithParseRecord) {
  std::vector<std::string> records = {"\tName\tRect1\tClassName\tRect\tWidth\t",
                                      "\tA\t\tB\t2\t", "Name\tx\t\t\tClassName\tText",
                                      "\tA\t1\tA\t2\t", "", "\t\t", "A", "A\tB\tA"};
  // Random records of a few keys, values and empty items.
  const char* const kItems[] = {"A", "B", "Name", "1", "", "ClassName"};
  unsigned seed = 15;
  for (int r = 0; r < 500; ++r) {
    std::string record;
    const int items = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 9;
    for (int i = 0; i < items; ++i) {
      seed = seed * 1103515245 + 12345;
      record += std::string(kItems[(seed >> 16) % 6]) + "\t";
    }
    records.push_back(record);
  }
  for (const std::string& record : records) {
    PropertyMap parsed;
    ParseRecord(record, &parsed);
    for (const char* key : {"A", "B", "Name", "ClassName", "1", "Width", "missing"}) {
      const std::string* expected = parsed.Find(key);
      EXPECT_EQ(RecordValueOf(record, key), expected ? *expected : std::string())
          << key << " in " << record;
    }
  }
}

struct SetPropertyCase {
  const char* record;
  const char* key;
  const char* value;
  int add;
  const char* expected;
};

TEST(PictureMapTest, SetRecordProperty) {
  const SetPropertyCase cases[] = {
      // Replacing keeps every other pair and its order.
      {"\tA\t1\tB\t2\t", "A", "9", 0, "\tA\t9\tB\t2\t"},
      {"\tA\t1\tB\t2\t", "B", "longer", 1, "\tA\t1\tB\tlonger\t"},
      // Only the first occurrence changes.
      {"\tA\t1\tA\t2\t", "A", "9", 0, "\tA\t9\tA\t2\t"},
      // A last value without its TAB is replaced up to the end.
      {"\tA\t1\tB\t2", "B", "3", 0, "\tA\t1\tB\t3"},
      // A missing key: unchanged without adding, appended with.
      {"\tA\t1\t", "C", "3", 0, "\tA\t1\t"},
      {"\tA\t1\t", "C", "3", 1, "\tA\t1\tC\t3\t"},
      {"\tA\t1\t", "C", "3", 2, "\tA\t1\t"},
      // A record ending without a TAB gets one before the new pair.
      {"\tA\t1", "C", "3", 1, "\tA\t1\tC\t3\t"},
      {"\tpoints\t1,2,3,4", "diameter", "5", 1, "\tpoints\t1,2,3,4\tdiameter\t5\t"},
      {"", "C", "3", 1, "\tC\t3\t"},
      // A key is matched whole: "Width" does not match "LineWidth".
      {"\tLineWidth\t1\t", "Width", "2", 1, "\tLineWidth\t1\tWidth\t2\t"},
  };
  for (const SetPropertyCase& c : cases) {
    std::string record = c.record;
    SetRecordProperty(&record, c.key, c.value, c.add);
    EXPECT_EQ(record, c.expected) << "record '" << c.record << "' key " << c.key;
  }
}

// SetRecordProperty changes the pair the first "TAB key TAB" of the record
// starts, as a plain search for that text finds it: keys inside other
// items, at either end, next to empty items and overlapping themselves.
TEST(PictureMapTest, SetRecordPropertyFindsTheFirstWholeKey) {
  auto expected_of = [](std::string record, const std::string& key, const std::string& value,
                        int add) {
    const std::string needle = "\t" + key + "\t";
    const size_t at = record.find(needle);
    if (at != std::string::npos) {
      const size_t start = at + needle.size();
      const size_t rest = record.find('\t', start);
      record.replace(start, rest == std::string::npos ? std::string::npos : rest - start, value);
    } else if (add == 1) {
      if (record.empty() || record.back() != '\t') record += '\t';
      record += key + "\t" + value + "\t";
    }
    return record;
  };
  const char* const items[] = {"A", "AA", "BA", "AB", "", "Width", "LineWidth", "Widths", "1"};
  const char* const keys[] = {"A", "AA", "Width", "B", "", "1", "A\tA"};
  uint32_t seed = 7;
  auto next = [&seed](uint32_t below) {
    seed = seed * 1103515245 + 12345;
    return (seed >> 16) % below;
  };
  for (int r = 0; r < 2000; ++r) {
    std::string record = next(2) ? "\t" : "";
    const uint32_t count = next(8);
    for (uint32_t i = 0; i < count; ++i) {
      record += items[next(9)];
      if (i + 1 < count || next(2)) record += '\t';
    }
    for (const char* key : keys) {
      for (int add : {0, 1}) {
        std::string changed = record;
        SetRecordProperty(&changed, key, "v", add);
        ASSERT_EQ(changed, expected_of(record, key, "v", add))
            << "record '" << record << "' key '" << key << "' add " << add;
      }
    }
  }
}

// One map parsed into again and again (Reset between the records) holds
// what a new map would hold: the same pairs in the same order, every key
// found, none of an earlier record left. The records are small and large
// (past the size where the map is indexed), hold keys of the same length
// and last character, repeated keys, and come in growing and shrinking turns.
TEST(PictureMapTest, AMapResetAndParsedIntoAgainHoldsWhatANewMapHolds) {
  auto record_of = [](int keys, int repeat_every, const std::string& tag) {
    std::string record = "\tClassName\t" + tag + "\t";
    for (int i = 0; i < keys; ++i) {
      // "Lvl1.in1", "Lvl2.in1", ...: equal lengths and last characters.
      record += "Lvl" + std::to_string(i % 10) + "." + (i % 2 ? "in" : "out") + "1" +
                std::to_string(i / 10) + "\t" + tag + std::to_string(i) + "\t";
      if (repeat_every > 0 && i % repeat_every == 0) record += "ClassName\tagain" + tag + "\t";
    }
    return record;
  };
  const struct {
    int keys;
    int repeat_every;
  } turns[] = {{3, 0}, {60, 0}, {5, 2}, {200, 7}, {0, 0}, {15, 0}, {16, 3}, {17, 0}, {47, 0}, {48, 5}, {49, 0}, {2, 1}};
  PropertyMap reused;
  int turn = 0;
  for (const auto& t : turns) {
    const std::string record = record_of(t.keys, t.repeat_every, "t" + std::to_string(turn++));
    SCOPED_TRACE(record.substr(0, 60));
    PropertyMap fresh;
    const std::string fresh_class = ParseRecord(record, &fresh);
    reused.Reset();
    EXPECT_EQ(ParseRecord(record, &reused), fresh_class);
    ASSERT_EQ(reused.size(), fresh.size());
    EXPECT_TRUE(std::equal(reused.begin(), reused.end(), fresh.begin(), fresh.end()));
    for (const auto& entry : fresh) {
      const std::string* value = reused.Find(entry.first);
      ASSERT_NE(value, nullptr) << entry.first;
      EXPECT_EQ(*value, entry.second);
    }
    // Keys of the other records are not found.
    EXPECT_EQ(reused.Find("Lvl9.out1" + std::to_string(1000)), nullptr);
    // Removing and storing again after a reset behaves as on a new map.
    if (!fresh.empty()) {
      const std::string first_key = fresh.begin()->first;
      fresh.Remove(first_key);
      reused.Remove(first_key);
      fresh.Set(first_key, "back");
      reused.Set(first_key, "back");
      EXPECT_TRUE(std::equal(reused.begin(), reused.end(), fresh.begin(), fresh.end()));
    }
  }
}

TEST(PictureMapTest, ParseRecord) {
  struct Case {
    const char* record;
    const char* class_name;
    const char* pairs;  // "k=v;" in order
  };
  const Case cases[] = {
      {"\tName\tRect1\tClassName\tRect\tWidth\t", "Rect", "Name=Rect1;ClassName=Rect;"},
      // An empty value is lost: A pairs with B and 2 is dropped.
      {"\tA\t\tB\t2\t", "", "A=B;"},
      {"Name\tx\t\t\tClassName\tText", "Text", "Name=x;ClassName=Text;"},
      {"\tA\t1\tA\t2\t", "", "A=2;"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    PropertyMap properties;
    EXPECT_EQ(ParseRecord(c.record, &properties), c.class_name) << c.record;
    std::string pairs;
    for (const auto& entry : properties) pairs += entry.first + "=" + entry.second + ";";
    EXPECT_EQ(pairs, c.pairs) << c.record;
  }
}

// The pairs of a record are found whatever the lengths of its items (a
// TAB at every place of the eight-byte words the scan reads, empty items,
// a record ending with or without its TAB), as SplitTabList cuts them.
TEST(PictureMapTest, ParseRecordFindsEveryTabWhateverTheItemLengths) {
  for (size_t first = 0; first < 20; ++first) {
    for (size_t second = 0; second < 20; ++second) {
      for (const char* end : {"", "\t", "\t\t"}) {
        const std::string record = std::string(first, 'k') + "\t" + std::string(second, 'v') +
                                   "\tClassName\t" + std::string(first + second, 'c') + end;
        std::vector<std::string> items;
        SplitTabList(record, &items);
        PropertyMap expected;
        for (size_t i = 0; i + 1 < items.size(); i += 2) expected.Set(items[i], items[i + 1]);
        PropertyMap parsed;
        ParseRecord(record, &parsed);
        EXPECT_TRUE(std::equal(parsed.begin(), parsed.end(), expected.begin(), expected.end()))
            << first << " " << second << " " << record;
      }
    }
  }
}

// A value found stays where it is while thousands of keys are added after
// it (the map's storage grows and its index is made again).
TEST(PictureMapTest, AValueFoundStaysInPlaceWhileTheMapGrows) {
  PropertyMap map;
  map.Set("first", "1");
  const std::string* first = map.Find("first");
  std::vector<const std::string*> found;
  for (int i = 0; i < 3000; ++i) {
    map.Set("k" + std::to_string(i), std::to_string(i));
    if (i % 100 == 0) found.push_back(map.Find("k" + std::to_string(i)));
  }
  EXPECT_EQ(map.Find("first"), first);
  EXPECT_EQ(*first, "1");
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(map.Find("k" + std::to_string(i * 100)), found[i]);
    EXPECT_EQ(*found[i], std::to_string(i * 100));
  }
}

// A map used as a set (Add) and read by position: below and past the size
// where it gets its index, after removals and after a Reset.
TEST(PictureMapTest, AddAndPositionsAgreeWithFindWhateverTheSize) {
  for (int size : {1, 15, 16, 17, 300}) {
    SCOPED_TRACE(size);
    PictureMap map;
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < size; ++i) {
        EXPECT_TRUE(map.Add("n" + std::to_string(i)));
        EXPECT_FALSE(map.Add("n" + std::to_string(i)));
      }
      EXPECT_EQ(map.size(), static_cast<size_t>(size));
      EXPECT_TRUE(map.Remove("n0"));
      EXPECT_EQ(map.PositionOf("n0"), PictureMap::kNoPosition);
      EXPECT_TRUE(map.Add("n0"));
      for (int i = 0; i < size; ++i) {
        const std::string key = "n" + std::to_string(i);
        const size_t at = map.PositionOf(key);
        ASSERT_LT(at, map.positions());
        EXPECT_EQ(&map.ValueAt(at), map.Find(key));
        EXPECT_EQ(map.ValueAt(at), "");
      }
      EXPECT_EQ(map.PositionOf("absent"), PictureMap::kNoPosition);
      // Values kept from before the Reset come back empty.
      map.Set("n1", "value");
      map.Reset();
    }
  }
  PictureMap map;
  map.Set("a", "text");
  map.Set("b", "more");
  map.ReleaseValueAt(map.PositionOf("a"));
  EXPECT_EQ(*map.Find("a"), "");
  EXPECT_EQ(*map.Find("b"), "more");
  EXPECT_EQ(map.size(), 2u);
}

TEST(PictureMapTest, SplitTabListDropsEmptyItems) {
  std::vector<std::string> items = {"stale"};
  SplitTabList("\t\ta(b)\t\tc(d)\t", &items);
  EXPECT_EQ(items, (std::vector<std::string>{"a(b)", "c(d)"}));
  SplitTabList("", &items);
  EXPECT_TRUE(items.empty());
}

TEST(PictureMapTest, GetRecordValueQueuesFatalLineOnMiss) {
  TestServices env;
  ConversionLog log(&env.services);
  PropertyMap properties;
  properties.Set("Width", "10");
  std::string value = "old";
  EXPECT_EQ(GetRecordValue(properties, "Width", &value, "ctx", &log), 1);
  EXPECT_EQ(value, "10");
  EXPECT_EQ(GetRecordValue(properties, "Height", &value, "Rect1", &log), 0);
  EXPECT_EQ(value, "");
  ASSERT_EQ(log.pending().size(), 1u);
  EXPECT_EQ(log.pending()[0],
            env.Text(80) + "Rect1 - (Fatal error in getting the property 'Height' from the "
                           "list\r\n");
}

TEST(PictureMapTest, FindObjectClass) {
  PictureMap map;
  std::string class_name = "stale";
  EXPECT_EQ(FindObjectClass(map, "Pic.Rect1", &class_name), 0);
  EXPECT_EQ(class_name, "");
  AddRecord(&map, "Rect", "Rect1", "\t");
  AddRecord(&map, "Oval", "Oval1", "\t");
  struct Case {
    const char* reference;
    int found;
    const char* class_name;
  };
  const Case cases[] = {
      {"Pic.Rect1", 1, "Rect"}, {"Oval1", 1, "Oval"}, {"Pic.Grp.Oval1", 1, "Oval"},
      {"Pic.Rect", 0, ""},      {"Rect", 0, ""},      {"Pic.Missing", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindObjectClass(map, c.reference, &class_name), c.found) << c.reference;
    EXPECT_EQ(class_name, c.class_name) << c.reference;
  }
  map.Set(kObjectList, "");
  EXPECT_EQ(FindObjectClass(map, "Rect1", &class_name), 0);
}

TEST(PictureMapTest, MakeSourceReference) {
  struct Case {
    const char* reference;
    const char* class_name;
    int result;
    const char* expected;
  };
  const Case cases[] = {
      {"Pic.Rect1.Lookup2", "Lookup", 1, "Lookup21"},
      {"Pic.Var", "Variable", 1, "Var1"},
      {"Plain", "Linear", 1, "Plain"},
      {"Pic.Item", "COPCDataItem", 1, "Item1"},
      {"Pic.Rect1", "Rect", 0, "Pic.Rect1"},
      {"Pic.X", "lookup", 0, "Pic.X"},
  };
  for (const Case& c : cases) {
    std::string reference = c.reference;
    EXPECT_EQ(MakeSourceReference(&reference, c.class_name), c.result) << c.reference;
    EXPECT_EQ(reference, c.expected) << c.reference;
  }
}

TEST(PictureMapTest, OwnerName) {
  struct Case {
    const char* source;
    const char* class_name;
    const char* expected;
  };
  const Case cases[] = {
      {"Plain", "", "Plain"},           {"Pic.Obj", "", "Obj"},
      {"Pic.Grp.Obj.Anim", "", "Grp.Obj"}, {"Pic.Grp.Obj.Anim", "Support", "Obj"},
      {"Pic.Obj.Anim", "Support", "Obj"},  {"Pic.", "", ""},
  };
  for (const Case& c : cases) {
    std::string source = c.source;
    OwnerName(&source, c.class_name);
    EXPECT_EQ(source, c.expected) << c.source << " / " << c.class_name;
  }
}

TEST(PictureMapTest, MakeFormatMask) {
  struct Case {
    const char* format;
    long characters;
    long lines;
    std::string expected;
  };
  const Case cases[] = {
      {"%5.2f", 0, 0, "format\t###.##\t"},
      {"%3d", 0, 0, "format\t###\t"},
      {"%s", 20, 2, "format\t" + std::string(40, '#') + "\t"},
      {"%x", 0, 0, "format\t#x\t"},
      {"%.3f", 0, 0, "format\t#.3f\t"},
      {"%0.f", 0, 0, "format\t#0.f\t"},
      {"%7.0f", 0, 0, "format\t#######\t"},
      {"%2.5f", 0, 0, "format\t###.#####\t"},
      {"", 0, 0, "format\t#\t"},
      // A mask never grows beyond a display field's width.
      {"%99999999999.1f", 0, 0, "format\t" + std::string(255, '#') + ".#\t"},
      {"%s", 1L << 40, 1L << 40, "format\t" + std::string(255, '#') + "\t"},
      {"%s", -3, 2, "format\t\t"},
      // Extreme whole and fraction parts do not overflow their difference.
      {"%-9223372036854775807.9223372036854775807f", 0, 0,
       "format\t" + std::string(255, '#') + "." + std::string(255, '#') + "\t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakeFormatMask(c.format, c.characters, c.lines), c.expected) << c.format;
  }
}

TEST(PictureMapTest, QuoteStringAndReplaceChar) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"a\"b", "\"a\\\"b\""},
      {"", "\"\""},
      {"it's a\\b", "\"it\\'s a\\\\b\""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    QuoteString(&text);
    EXPECT_EQ(text, c.expected);
  }
  std::string name = "Pic1.Grp.Bitmap1";
  ReplaceChar(&name, '.', '_');
  EXPECT_EQ(name, "Pic1_Grp_Bitmap1");
}

TEST(PictureMapTest, IsPageWord) {
  const struct {
    std::string text;
    bool word;
  } cases[] = {
      {"Source1.NODE1:TAG.F_CV", true},
      {"0x00ff00", true},
      {"-3.5", true},
      {"\"OK  \"", true},
      {"\"a \\\" b ( )\"", true},  // a quoted text with an escaped quote
      {"\"\"", true},
      {"a)))", false},
      {"P)))\r\n(INJ.F_CV", false},
      {"two words", false},
      {"tab\there", false},
      {"it's", false},
      {"\"open", false},
      {"\"a\"b\"", false},   // a quote inside a quoted text, not escaped
      {"\"ends\\\"", false},  // the last quote is escaped: the text never closes
      {std::string("nul\0", 4), false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPageWord(c.text), c.word) << c.text;
  // Blanks around a word, or only blanks, do not break the page either.
  for (const char* value : {"  1000.0", " ", "", "0x00ff00 "}) EXPECT_TRUE(FitsUnquoted(value));
  for (const char* value : {" 1 2", "(", " a) "}) EXPECT_FALSE(FitsUnquoted(value)) << value;
}

TEST(PictureMapTest, RecordName) {
  EXPECT_EQ(RecordName("\tClassName\tRect\tName\tRect1\tWidth\t3\t"), "Rect1");
  EXPECT_EQ(RecordName("\tName\tLast"), "Last");
  EXPECT_EQ(RecordName("\tPenName\tx\t"), "");
}

}  // namespace
}  // namespace quillon
