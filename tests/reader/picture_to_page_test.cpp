// A picture document read by the walk and written by the page writer,
// compared with its golden page description byte for byte. Set
// QUILLON_UPDATE_GOLDENS=1 to write the current output over the golden file.
#include <cstdlib>
#include <fstream>

#include "platform/text_file.h"
#include "reader_fixture.h"
#include "writer/page_writer.h"

namespace quillon {
namespace {

std::string DataFile(const std::string& name) {
  return std::string(QUILLON_SOURCE_DIR) + "/tests/reader/data/" + name;
}

TEST_F(ReaderTest, EveryShapeClassFromDocumentToPage) {
  Load(ReadFile(DataFile("shapes.grf")));
  ASSERT_EQ(Walk(), 0);

  PageWriter writer(&env.services);
  const std::string base = dir.File("Shapes");
  ASSERT_EQ(writer.Init(base, 1, 1, reader.group_map(), reader.picture_map(), 0, nullptr), 1);
  long height = 0, width = 0;
  std::string background;
  int rate = 0;
  writer.LoadPageProperties(&height, &width, &background, &rate);
  ASSERT_EQ(writer.WriteHtmlPage(base, height, width), 1);
  ASSERT_EQ(writer.WriteDocument(height, width, background, "1.0"), 1);

  const std::string actual = ReadFile(base + ".JDF");
  const std::string golden_path = DataFile("shapes.JDF");
  if (std::getenv("QUILLON_UPDATE_GOLDENS") != nullptr) {
    std::ofstream(golden_path, std::ios::binary) << actual;
  }
  EXPECT_EQ(actual, ReadFile(golden_path));
  // The unsupported button is named in the log; nothing else went wrong.
  EXPECT_NE(ReadFile(dir.File("Shapes.Log")).find("Legacy(Button)"), std::string::npos);
  EXPECT_TRUE(env.ui.boxes.empty());
}

}  // namespace
}  // namespace quillon
