// quillon-write-pages: writes the web page of a picture from a picture map
// saved as JSON, without an HMI. Useful to look at what the writer makes of
// a given set of records.
//
//   quillon-write-pages MAP.json OUTPUT_DIRECTORY
//
// MAP.json: {"name": "Pic1", "pictureMap": [[key, record], ...],
//            "groupMap": [[key, members], ...], "useCabFiles": 1,
//            "allowPlayBack": 1, "outputBmp": 0}
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "driver/application.h"
#include "model/picture_map.h"
#include "platform/console_ui.h"
#include "platform/text_file.h"
#include "writer/page_writer.h"

namespace {

constexpr char kUsage[] =
    "usage: quillon-write-pages MAP.json OUTPUT_DIRECTORY\n"
    "Writes NAME.JDF, NAME.htm and NAME.Log into OUTPUT_DIRECTORY from a picture map\n"
    "saved as JSON (see the example in examples/).\n";

bool LoadPairs(const nlohmann::json& doc, const char* key, quillon::OrderedMap* map,
               std::string* error) {
  auto found = doc.find(key);
  if (found == doc.end()) return true;
  if (!found->is_array()) {
    *error = std::string(key) + " must be an array of [key, value] pairs";
    return false;
  }
  for (const auto& pair : *found) {
    if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string()) {
      *error = std::string(key) + " holds an entry that is not a [key, value] pair of texts";
      return false;
    }
    map->Set(pair[0].get<std::string>(), pair[1].get<std::string>());
  }
  return true;
}

int Flag(const nlohmann::json& doc, const char* key, int fallback) {
  auto found = doc.find(key);
  return found != doc.end() && found->is_number_integer() ? found->get<int>() : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "quillon-write-pages: cannot open %s\n", argv[1]);
    return 1;
  }
  nlohmann::json doc = nlohmann::json::parse(in, nullptr, false);
  if (!doc.is_object()) {
    std::fprintf(stderr, "quillon-write-pages: %s is not a JSON object\n", argv[1]);
    return 1;
  }
  quillon::PictureMap pictures;
  quillon::GroupMap groups;
  std::string error;
  if (!LoadPairs(doc, "pictureMap", &pictures, &error) ||
      !LoadPairs(doc, "groupMap", &groups, &error)) {
    std::fprintf(stderr, "quillon-write-pages: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::string name = doc.value("name", std::string("Picture"));
  quillon::ReplaceChar(&name, '/', '_');
  quillon::ReplaceChar(&name, '\\', '_');

  quillon::ConsoleUi ui;
  quillon::CQuillonDllApp& app = quillon::CQuillonDllApp::Instance();
  if (!app.ready() && app.InitInstance(&ui) == 0) return 1;
  quillon::Services services = app.ServicesFor(&ui);

  const std::string base = quillon::JoinPath(argv[2], name);
  quillon::PageWriter writer(&services);
  if (writer.Init(base, Flag(doc, "useCabFiles", 1), Flag(doc, "allowPlayBack", 1), &groups,
                  &pictures, Flag(doc, "outputBmp", 0), nullptr) != 1) {
    return 1;
  }
  app.progress().ShowProgress();
  long height = 0, width = 0;
  std::string background;
  int rate = 0;
  writer.LoadPageProperties(&height, &width, &background, &rate);
  int page = writer.WriteHtmlPage(base, height, width);
  int document = writer.WriteDocument(height, width, background, "1.0");
  app.progress().CloseProgress();
  if (page == 1 && document == 1) {
    std::printf("wrote %s.JDF, %s.htm and %s\n", base.c_str(), base.c_str(),
                writer.log()->Path().c_str());
    return 0;
  }
  return 1;
}
