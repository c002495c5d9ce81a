// Linear scalings and chart pens on the page: TAVScale objects and links.
#include "animation/animation_writers.h"
#include "emitter_fixture.h"

namespace quillon {
namespace {

std::string LinearRecord(std::vector<Change> changes = {}) {
  return RecordText(LinearPairs(), changes);
}

std::string Scale(const std::string& out_min, const std::string& out_max) {
  return "\t(N1 TAVScale\r\n\t\t(properties\r\n\t\t\t(inMin 0)\r\n\t\t\t\t(inMax 100)\r\n"
         "\t\t\t(outMin " +
         out_min + ")\r\n\t\t\t(outMax " + out_max + ")))\r\n";
}

TEST_F(AnimationPageTest, LinearOnAPositionIsOneScale) {
  AddAnimation("Linear", "N", LinearRecord());
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), Scale("10", "110"));
  EXPECT_EQ(Links(), "\t(N1.in Source1.NODE1:T1.F_CV)\r\n\t(Rect1.x N1.outFloat)\r\n");
}

TEST_F(AnimationPageTest, LinearTargets) {
  struct Case {
    std::vector<Change> changes;
    std::string objects;
    std::string links;
  };
  const std::string in = "\t(N1.in Source1.NODE1:T1.F_CV)\r\n";
  const Case cases[] = {
      // A value port is driven from the real-valued output.
      {{{"PropertyName", "OutputValue"},
        {"ParentCategory", "Animation"},
        {"ParentName", "Look"},
        {"ParentClassName", "Lookup"}},
       Scale("10", "110"),
       in + "\t(Look1.outFloat N1.outFloat)\r\n"},
      {{{"PropertyName", "CurrentValue"}, {"ParentClassName", "Variable"}, {"ParentName", "Var1"}},
       Scale("10", "110") +
           "\t\t(Var1 TAVExpression\r\n\t\t(properties\r\n\t\t\t(expression \"$0\"))\r\n\t)\r\n",
       in + "\t(Var1.expval[0] N1.out)\r\n"},
      // Inside a group a position is relative to the group's.
      {{{"ParentClassName", "Group"},
        {"FullyQualifiedName", "Pic1.Group1.N"},
        {"IsGroupScale", "1"},
        {"ParentShapeDefVal", "100"},
        {"LoOutValue", "110"},
        {"HiOutValue", "210"}},
       Scale("10.000000", "110.000000"),
       in + "\t(Group1.x N1.outFloat)\r\n"},
      {{{"Source", "DS.NODE1.T1.F_CV + 5"}},
       Scale("10", "110") +
           "\t(Exp1 TAVExpression\r\n\t(properties\r\n\t\t(expression \"$0+5\")))\r\n",
       "\t(Exp1.expval[0] Source1.NODE1:T1.F_CV)\r\n\t(N1.in Exp1.out)\r\n"
       "\t(Rect1.x N1.outFloat)\r\n"},
      {{{"PropertyName", "PenLineWidth"},
        {"ParentClassName", "Pen"},
        {"ParentPenIndex", "2"},
        {"ParentFullName", "Pic1.Chart1.Pen2"}},
       Scale("10", "110"),
       in + "\t(Chart1.pens[1][1] N1.outFloat)\r\n"},
  };
  for (const Case& c : cases) {
    ResetPicture();
    AddAnimation("Linear", "N", LinearRecord(c.changes));
    EXPECT_EQ(WritePage(), 1);
    EXPECT_EQ(Animations(), c.objects) << c.links;
    EXPECT_EQ(Links(), c.links);
  }
}

TEST_F(AnimationPageTest, PenScalesItsValueIntoTheChart) {
  AddAnimation("Pen", "P", RecordText(PenPairs()));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(),
            "\t(P TAVScale\r\n\t\t(properties\r\n\t\t\t(inMin 0)\r\n\t\t\t\t(inMax 100)\r\n"
            "\t\t\t(outMin 0)\r\n\t\t\t(outMax 50)))\r\n");
  EXPECT_EQ(Links(), "\t(P.in Source1.NODE1:T1.F_CV)\r\n\t(C.values[2] P.outFloat)\r\n");
}

}  // namespace
}  // namespace quillon
