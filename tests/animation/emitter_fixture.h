// A page with one rectangle and the animation records under test, written
// with the translator of data sources in place.
#ifndef QUILLON_TESTS_ANIMATION_EMITTER_FIXTURE_H_
#define QUILLON_TESTS_ANIMATION_EMITTER_FIXTURE_H_

#include <string>
#include <utility>
#include <vector>

#include "expression/process_state.h"
#include "platform/registry.h"
#include "writer/writer_fixture.h"

namespace quillon {

// Record pairs in the order the reader writes them.
using Pairs = std::vector<std::pair<std::string, std::string>>;
// A change of a record: a key and its new value; a null value removes the key.
struct Change {
  const char* key;
  const char* value;
};

// `pairs` with `changes` applied (a new key goes to the end), as record text.
inline std::string RecordText(Pairs pairs, const std::vector<Change>& changes = {}) {
  for (const Change& change : changes) {
    bool found = false;
    for (auto it = pairs.begin(); it != pairs.end(); ++it) {
      if (it->first != change.key) continue;
      found = true;
      if (change.value == nullptr) {
        pairs.erase(it);
      } else {
        it->second = change.value;
      }
      break;
    }
    if (!found && change.value != nullptr) pairs.emplace_back(change.key, change.value);
  }
  std::string text = "\t";
  for (const auto& pair : pairs) text += pair.first + "\t" + pair.second + "\t";
  return text;
}

// The pairs that every animation record of Rect1 starts with.
inline Pairs AnimationPairs(const std::string& kind, const std::string& name,
                            const std::string& property) {
  return {{"Name", name},
          {"ClassName", kind},
          {"Source", "DS.NODE1.T1.F_CV"},
          {"FullyQualifiedName", "Pic1.Rect1." + name},
          {"ParentCategory", "Shape"},
          {"ParentName", "Rect1"},
          {"ParentUniformScale", "0"},
          {"ParentClassName", "Rect"},
          {"PropertyName", property},
          {"SourceDataType", "3"},
          {"ParentProperty", property},
          {"ParentShape", "Rect"},
          {"IsGroupScale", "0"}};
}

// An exact table of Rect1's foreground: 1 -> red, 2 -> green (toggle blue).
inline Pairs LookupPairs(const std::string& name = "L") {
  Pairs pairs = AnimationPairs("Lookup", name, "ForegroundColor");
  Pairs lookup = {{"DefaultOutputValue", "0"},
                  {"ToggleRate", "0.5"},
                  {"GlobalToggle", "16777215"},
                  {"GlobalOutputToggle", "0"},
                  {"ToggleSource", "DS.NODE1.T2.F_CV"},
                  {"OutputToggles", "0"},
                  {"Count", "2"},
                  {"ExactMatch", "-1"},
                  {"Lvl1.in1", "1"},
                  {"Lvl1.in2", "1"},
                  {"Lvl1.out1", "255"},
                  {"Lvl1.out2", " "},
                  {"Lvl2.in1", "2"},
                  {"Lvl2.in2", "2"},
                  {"Lvl2.out1", "65280"},
                  {"Lvl2.out2", "16711680"}};
  pairs.insert(pairs.end(), lookup.begin(), lookup.end());
  return pairs;
}

// Rect1's horizontal position scaled from 0..100 to 10..110.
inline Pairs LinearPairs() {
  Pairs pairs = AnimationPairs("Linear", "N", "HorizontalPosition");
  Pairs linear = {
      {"LoInValue", "0"}, {"HiInValue", "100"}, {"LoOutValue", "10"}, {"HiOutValue", "110"}};
  pairs.insert(pairs.end(), linear.begin(), linear.end());
  return pairs;
}

// Pen P, the third of chart C, scaled from 0..100 to 0..50.
inline Pairs PenPairs() {
  return {{"Name", "P"},
          {"ClassName", "Pen"},
          {"Source", "DS.NODE1.T1.F_CV"},
          {"FullyQualifiedName", "Pic1.C.P"},
          {"LoLimit", "0"},
          {"HiLimit", "100"},
          {"ParentCategory", "Shape"},
          {"ParentName", "C"},
          {"ParentUniformScale", "0"},
          {"ParentClassName", "Chart"},
          {"HiOutValue", "50"},
          {"LoOutValue", "0"},
          {"PenIndex", "2"}};
}

class AnimationPageTest : public WriterTest {
 protected:
  AnimationPageTest() {
    const std::string key = "QEV32\\DataSources\\X";
    registry.Put(RegistryRoot::kClassesRoot, key, "", "DS");
    registry.Put(RegistryRoot::kClassesRoot, key, "OpcProgID", "Velquist.OPCEDA");
    registry.Put(RegistryRoot::kClassesRoot, key, "OpcServerMachineName", "");
    ResetPicture();
  }

  // Starts a new picture holding only the rectangle Rect1.
  void ResetPicture() {
    pictures.clear();
    groups.clear();
    AddObject("Rect", "Rect1", "");
  }

  // Registers an animation record as the reader does.
  void AddAnimation(const std::string& kind, const std::string& name, const std::string& record) {
    AddRecord(&pictures, kind, name, record);
    AppendToSequence(&pictures, kind, name, kAnimationSequence);
  }

  // Runs the writing phase with translation; returns WriteDocument's result.
  int WritePage() {
    PageWriter writer(&env.services);
    if (writer.Init(base(), 1, 1, &groups, &pictures, 0, nullptr) != 1) return -1;
    writer.SetTranslation(&registry, &state);
    long height = 0, width = 0;
    std::string background;
    int rate = 0;
    writer.LoadPageProperties(&height, &width, &background, &rate);
    return writer.WriteDocument(height, width, background, "1.0");
  }

  // The lines the animations wrote: after Rect1's object, before the data source.
  std::string Animations() const {
    const std::string jdf = Jdf();
    const std::string rect = "\t(Rect1 TAVRectangle\r\n\t\t(properties\r\n\t\t)\r\n\t)\r\n";
    size_t start = jdf.find(rect);
    size_t end = jdf.find("\t\r\n(Source1 TAVWeb");
    if (start == std::string::npos || end == std::string::npos) return "<no objects section>";
    start += rect.size();
    return jdf.substr(start, end - start);
  }

  // The lines of the links section; empty without one.
  std::string Links() const {
    const std::string jdf = Jdf();
    const std::string open = "(links\r\n";
    size_t start = jdf.find(open);
    if (start == std::string::npos) return std::string();
    start += open.size();
    return jdf.substr(start, jdf.size() - 3 - start);
  }

  MemoryRegistry registry;
  ProcessState state;
};

}  // namespace quillon

#endif  // QUILLON_TESTS_ANIMATION_EMITTER_FIXTURE_H_
