// The expression translator: process values, system values, references to
// other animations, numbers, operators and whole expressions.
#include "expression/translator.h"

#include <gtest/gtest.h>

#include "driver/dialogs.h"
#include "driver/settings.h"
#include "platform/dialog.h"
#include "platform/format.h"
#include "platform/registry.h"
#include "support/test_env.h"

namespace quillon {
namespace {

class TranslatorTest : public ::testing::Test {
 protected:
  TranslatorTest() {
    log.StartLog("Pic1.Log", "Pic1", dir.path(), "", nullptr, ConversionLog::Banner::kWriter);
    banner = ReadFile(dir.File("Pic1.Log"));
    const std::string sources = "QEV32\\DataSources\\";
    registry.Put(RegistryRoot::kClassesRoot, sources + "Remote", "", "DSR");
    registry.Put(RegistryRoot::kClassesRoot, sources + "Remote", "OpcProgID", "Velquist.OPCEDA");
    registry.Put(RegistryRoot::kClassesRoot, sources + "Remote", "OpcServerMachineName", "far");
    registry.Put(RegistryRoot::kClassesRoot, sources + "Z-Local", "", "DS");
    registry.Put(RegistryRoot::kClassesRoot, sources + "Z-Local", "OpcProgID", "Velquist.OPCEDA");
    registry.Put(RegistryRoot::kClassesRoot, sources + "Z-Local", "OpcServerMachineName", "");
    registry.Put(RegistryRoot::kClassesRoot, kNodeNameKey, "", "NODE9");
    AddRecord(&pictures, "Rect", "Rect1", "\t");
    AddRecord(&pictures, "Lookup", "Lookup1", "\t");
    AddRecord(&pictures, "Linear", "Linear1", "\t");
  }

  struct Result {
    int code;
    std::string source;
    std::string error;
  };
  Result Translate(const std::string& text) {
    std::string source = text, object, links, error;
    int code = translator.TranslateSource(&source, "Rect1", &object, &links, &error);
    return {code, source, error};
  }
  void SetOption(const std::string& value) {
    registry.Put(RegistryRoot::kCurrentUser, "Software\\Qev Dynamics\\OPTIONS\\QEVQUILLON", "",
                 value);
  }
  std::string Log() const { return ReadFile(dir.File("Pic1.Log")).substr(banner.size()); }

  TestServices env;
  TempDir dir;
  ConversionLog log{&env.services};
  MemoryRegistry registry;
  ProcessState state;
  PictureMap pictures;
  ExpressionTranslator translator{&log, &registry, &state, &pictures, "/web/Pic1.JDF"};
  std::string banner;
};

TEST_F(TranslatorTest, SourcesOfEveryKind) {
  struct Case {
    const char* source;
    int code;
    const char* result;
    int error;  // resource string of the error text, or 0
  };
  const Case cases[] = {
      {"42", kNumber, "42", 0},
      {"  3.5  ", kNumber, "3.5", 0},
      {"-5", kOperatorText, "-5", 0},
      {"A+B", kOperatorText, "A+B", 0},
      {"DS.NODE1.TANK1.F_CV", kReference, "Source1.NODE1:TANK1.F_CV", 0},
      {"DS.NODE1.TANK1.T_CV", kReference, "Source1.NODE1:TANK1.F_CV", 0},
      {"DS.NODE1.TANK1.A_DESC", kReference, "Source1.NODE1:TANK1.A_DESC", 0},
      {"DS.NODE1.TANK1.f_cv", kReference, "Source1.NODE1:TANK1.f_cv", 0},
      {"DS.NODE1.TANK1", kReference, "Source1.NODE1:TANK1", 0},
      {"DS.NODE1.T\\A\\NK.F_CV", kReference, "Source1.NODE1:TANK.F_CV", 0},
      {"DS.thisnode.TANK1.F_CV", kReference, "Source1.NODE9:TANK1.F_CV", 0},
      {"DS.NODE1", kNotTranslatable, "NODE1", 0},
      {"DSR.NODE1.TANK1.F_CV", kNotTranslatable, "DSR.NODE1.TANK1.F_CV", 45},
      {"Pic1.Rect1.ForegroundColor", kNotTranslatable, "", 69},
      {"Pic1.Grp.Lookup1.OutputValue", kReference, "Lookup11.out", 0},
      {"Pic1.Grp.Linear1.OutputValue", kReference, "Linear11.outFloat", 0},
      {"Pic1.Grp.Rect1.Width", kNotTranslatable, "Pic1.Grp.Rect1.Width", 69},
      {"Pic1.Unknown.Width", kReference, "Unknown.width", 0},
      {"Pic1.Rect1", kNotTranslatable, "", 42},
      {"Pic1.Lookup1.NoSuch", kNotTranslatable, "", 43},
      {"Pic1.Width", kNotTranslatable, "Pic1.Width", 42},
      {"User.Name", kNotTranslatable, "User.Name", 44},
      {"Other.X.Y", kNotTranslatable, "Other.X.Y", 45},
      {"LOCALNODE.TANK1.F_CV", kNotTranslatable, "LOCALNODE.TANK1.F_CV", 45},
      {"System.Uptime", kNotTranslatable, "System.Uptime", 0},
  };
  for (const Case& c : cases) {
    Result r = Translate(c.source);
    EXPECT_EQ(r.code, c.code) << c.source;
    if (c.code != kNotTranslatable) {
      EXPECT_EQ(r.source, c.result) << c.source;
    } else {
      EXPECT_EQ(r.error, c.error ? env.Text(c.error) : "") << c.source;
    }
  }
}

TEST_F(TranslatorTest, TheNodeAliasCountsOnlyWithTheOptionSet) {
  SetOption("true");
  EXPECT_EQ(Translate("LOCALNODE.TANK1.F_CV").code, kNotTranslatable);
  SetOption("TRUE");
  Result r = Translate("localnode.TANK1.F_CV");
  EXPECT_EQ(r.code, kReference);
  EXPECT_EQ(r.source, "Source1.NODE9:TANK1.F_CV");
  EXPECT_EQ(Log(), "");
  const std::string long_tag = "LOCALNODE." + std::string(31, 'T') + ".F_CV";
  EXPECT_EQ(Translate(long_tag).code, kReference);
  EXPECT_EQ(Log(), env.Text(81) + long_tag + " -- " + env.Text(142) + "\r\n");
}

TEST_F(TranslatorTest, TheExampleExpression) {
  state.expressions = 2;
  std::string source = "DS.NODE1.T1.F_CV > 5 AND DS.NODE1.T2.F_CV = 1";
  std::string object, links, error;
  EXPECT_EQ(translator.TranslateSource(&source, "Rect1", &object, &links, &error), kExpression);
  EXPECT_EQ(source, "Exp3.out");
  EXPECT_EQ(object,
            "(Exp3 TAVExpression\n\t(properties\n\t\t(expression \"$0>5AND$1==1\")))\n");
  EXPECT_EQ(links,
            "\t(Exp3.expval[0] Source1.NODE1:T1.F_CV)\n\t(Exp3.expval[1] Source1.NODE1:T2.F_CV)\n");
}

TEST_F(TranslatorTest, ExpressionTokens) {
  struct Case {
    const char* source;
    const char* expression;  // between the quotes of the object
  };
  const Case cases[] = {
      {"DS.N.T.F_CV <> 5", "$0<>5"},
      {"DS.N.T.F_CV >= 5 OR NOT DS.N.U.F_CV", "$0>=5ORNOT$1"},
      {"DS.N.T.A_CUALM = \"OK\"", "$0==\\\"OK  \\\""},
      {"DS.N.T.A_CUALM = \"COMM\" XOR DS.N.T.A_CUALM = \"IOF\"",
       "$0==\\\"COMM    \\\"XOR$1==\\\"IOF     \\\""},
      {"( 2 * Pic1.Tank.Width ) + 1", "(2*$0)+1"},
  };
  for (const Case& c : cases) {
    std::string source = c.source, object, links, error;
    ASSERT_EQ(translator.TranslateSource(&source, "", &object, &links, &error), kExpression)
        << c.source;
    const size_t start = object.find("(expression \"") + 13;
    EXPECT_EQ(object.substr(start, object.size() - start - 5), c.expression) << c.source;
  }
}

TEST_F(TranslatorTest, OneUntranslatableTokenFailsTheExpression) {
  // A quoted text holding a blank is cut in two pieces that are no texts.
  std::string quoted = "DS.N.T.A_DESC = \"Pump A\"", object_text, link_text, reason;
  EXPECT_EQ(translator.TranslateSource(&quoted, "", &object_text, &link_text, &reason),
            kNotTranslatable);
  EXPECT_EQ(reason, env.Text(45));
  std::string source = "DS.N.T.F_CV > User.Level", object = "x", links = "y", error;
  EXPECT_EQ(translator.TranslateSource(&source, "", &object, &links, &error), kNotTranslatable);
  EXPECT_EQ(object, "");
  EXPECT_EQ(links, "");
  EXPECT_EQ(error, env.Text(44));
}

TEST_F(TranslatorTest, ExpressionsAreNumberedAcrossPictures) {
  ExpressionTranslator second(&log, &registry, &state, &pictures, "/web/Pic2.JDF");
  std::vector<std::string> numbers;
  for (ExpressionTranslator* t : {&translator, &translator, &second}) {
    std::string source = "1 + 2", object, links, error;
    t->TranslateSource(&source, "", &object, &links, &error);
    numbers.push_back(source);
  }
  EXPECT_EQ(numbers, (std::vector<std::string>{"Exp1.out", "Exp2.out", "Exp3.out"}));
}

TEST_F(TranslatorTest, SystemValuesAskForTheirNodeEveryTime) {
  env.ui.QueueDialog([](Dialog* d) {
    EXPECT_EQ(d->Text(kNodeName), "");
    EXPECT_EQ(d->Text(kNodeExplanation), "Rect1");
    d->UserClicks(kControlCancel);
  });
  env.ui.QueueDialog([](Dialog* d) {
    d->UserTypes(kNodeName, " scada2 ");
    d->UserClicks(kControlOk);
  });
  env.ui.QueueDialog([](Dialog* d) {
    EXPECT_EQ(d->Text(kNodeName), "SCADA2") << "prefilled with the last answer";
    d->UserClicks(kControlOk);
  });
  Result time = Translate("System.CurrentTime");
  EXPECT_EQ(time.code, kReference);
  EXPECT_EQ(time.source, "Source1.SCADA2:SYSTEM.A_NTIME");
  Result date = Translate("System.currentdate");
  EXPECT_EQ(date.source, "Source1.SCADA2:SYSTEM.A_NDATE");
  EXPECT_EQ(env.ui.dialogs_shown, (std::vector<int>{8300, 8300, 8300}));
  EXPECT_EQ(state.remembered_node, "SCADA2");
}

TEST_F(TranslatorTest, ThisNodeStandsForTheLocalNode) {
  env.ui.QueueDialog([](Dialog* d) {
    d->UserTypes(kNodeName, "thisnode");
    d->UserClicks(kControlOk);
  });
  EXPECT_EQ(Translate("System.CurrentTime").source, "Source1.NODE9:SYSTEM.A_NTIME");
  EXPECT_EQ(state.remembered_node, "NODE9");
}

TEST_F(TranslatorTest, APromptNobodyAnswersDoesNotHang) {
  // No script: the scripted user cancels every prompt.
  Result r = Translate("System.CurrentTime");
  EXPECT_EQ(r.code, kReference);
  EXPECT_EQ(r.source, "Source1.NODE9:SYSTEM.A_NTIME");
  EXPECT_EQ(env.ui.dialogs_shown.size(), 100u);
}

TEST_F(TranslatorTest, LocalNodeNameFallsBackWhenNoneIsKept) {
  EXPECT_EQ(translator.LocalNodeName("X"), "NODE9");
  MemoryRegistry empty;
  ExpressionTranslator bare(&log, &empty, &state, &pictures, "Pic1.JDF");
  EXPECT_EQ(bare.LocalNodeName("THISNODE"), "THISNODE");
  EXPECT_EQ(bare.picture_name(), "Pic1");
  EXPECT_EQ(Translate("DS.THISNODE.T.F_CV").source, "Source1.NODE9:T.F_CV");
}

}  // namespace
}  // namespace quillon
