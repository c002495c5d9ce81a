// A writer over a temporary output folder, for the writer tests.
#ifndef QUILLON_TESTS_WRITER_WRITER_FIXTURE_H_
#define QUILLON_TESTS_WRITER_WRITER_FIXTURE_H_

#include <string>

#include <gtest/gtest.h>

#include "model/picture_map.h"
#include "support/test_env.h"
#include "writer/page_writer.h"

namespace quillon {

class WriterTest : public ::testing::Test {
 protected:
  // Registers a top-level object record the way the reader does.
  void AddObject(const std::string& class_name, const std::string& name,
                 const std::string& pairs) {
    AddRecord(&pictures, class_name, name,
              "\tName\t" + name + "\tClassName\t" + class_name + "\t" + pairs);
    AppendToSequence(&pictures, class_name, name, kObjectSequence);
  }

  // Runs the writing phase as the conversion run does; returns WriteDocument's result.
  int Write(int use_cab_files = 1, int allow_play_back = 1) {
    PageWriter writer(&env.services);
    if (writer.Init(base(), use_cab_files, allow_play_back, &groups, &pictures, 0, nullptr) !=
        1) {
      return -1;
    }
    long height = 0, width = 0;
    std::string background;
    int rate = 0;
    writer.LoadPageProperties(&height, &width, &background, &rate);
    html_result = writer.WriteHtmlPage(base(), height, width);
    return writer.WriteDocument(height, width, background, "1.0");
  }

  std::string base() const { return dir.File("Pic1"); }
  std::string Jdf() const { return ReadFile(dir.File("Pic1.JDF")); }
  std::string Log() const { return ReadFile(dir.File("Pic1.Log")); }
  std::string Text(int id) const { return env.Text(id); }

  TestServices env;
  TempDir dir;
  PictureMap pictures;
  GroupMap groups;
  int html_result = -1;
};

// Lines joined with CR LF; the last one gets no line end.
inline std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty() || &line != lines.begin()) text += "\r\n";
    text += line;
  }
  return text;
}

// The JDF header for the default page properties, up to "(objects".
inline std::string DefaultHeader() {
  return "(properties \r\n\t(version 1.0)\r\n\t(width 1000)\r\n\t(height 1000)\r\n"
         "\t(bgColor 0xffffff)\r\n)\r\n(objects\r\n";
}

}  // namespace quillon

#endif  // QUILLON_TESTS_WRITER_WRITER_FIXTURE_H_
