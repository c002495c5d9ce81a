// The tags a converted page links to, as the run's report lists them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_outcome.h"

namespace quillon {
namespace cli {
namespace {

TEST(DataSourceTagsTest, EachTagOnceInOrderWhateverEndsIt) {
  const std::string jdf =
      "(links\r\n\t(Lookup1.in Source1.NODE1:PUMP.F_CV)\r\n"
      "\t(Lookup2.in Source1.NODE1:ALPHA.F_CV)\r\n"
      "\t(Lookup3.in Source1.NODE1:PUMP.F_CV )\r\n"
      "\t(x Source1.NODE1:TANK.A_DESC\t1)\r\n"
      "\t(y Source1.)\r\n"
      "\t(z Source1.NODE1:END";
  EXPECT_EQ(DataSourceTags(jdf),
            (std::vector<std::string>{"NODE1:ALPHA.F_CV", "NODE1:END", "NODE1:PUMP.F_CV",
                                      "NODE1:TANK.A_DESC"}));
  EXPECT_TRUE(DataSourceTags("(objects\r\n)").empty());
}

}  // namespace
}  // namespace cli
}  // namespace quillon
