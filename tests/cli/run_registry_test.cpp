// The run's view of the settings tells a change of the stored settings, and
// of the run's own output directory, to the look-ups that remember their
// answers.
#include "run_registry.h"

#include <gtest/gtest.h>

#include "driver/settings.h"

namespace quillon {
namespace cli {
namespace {

constexpr RegistryRoot kClasses = RegistryRoot::kClassesRoot;

TEST(RunRegistryTest, ItsGenerationFollowsTheStoreAndTheOutputDirectory) {
  MemoryRegistry stored;
  const std::string local = std::string(kDataSourcesKey) + "\\Local";
  stored.Put(kClasses, local, "OpcProgID", kLocalOpcProgId);
  stored.Put(kClasses, local, "OpcServerMachineName", "");
  stored.Put(kClasses, local, kDefaultValue, "DS");
  RunRegistry run(&stored);

  const uint64_t first = run.generation();
  EXPECT_NE(first, Registry::kUnknownGeneration);
  EXPECT_EQ(run.generation(), first) << "nothing changed";
  EXPECT_EQ(FindOpcDataSource(&run), "DS");
  const size_t searched = stored.calls.size();
  EXPECT_EQ(FindOpcDataSource(&run), "DS");
  EXPECT_EQ(stored.calls.size(), searched) << "remembered";

  stored.Put(kClasses, local, kDefaultValue, "Changed");
  EXPECT_NE(run.generation(), first) << "the stored settings changed";
  EXPECT_EQ(FindOpcDataSource(&run), "Changed");

  ASSERT_EQ(run.WriteString(kClasses, local, kDefaultValue, "Through the run"),
            RegistryResult::kOk);
  EXPECT_EQ(FindOpcDataSource(&run), "Through the run");

  const uint64_t before = run.generation();
  run.set_output_directory("/elsewhere");
  EXPECT_NE(run.generation(), before) << "the run's output directory is an answer too";
  const uint64_t with_directory = run.generation();
  run.reset_output_directory();
  EXPECT_NE(run.generation(), with_directory);
  EXPECT_EQ(stored.open_keys(), 0u);
}

}  // namespace
}  // namespace cli
}  // namespace quillon
