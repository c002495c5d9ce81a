// The automation value types: conversions, arrays, identifiers and counted
// references.
#include <gtest/gtest.h>

#include <cmath>

#include "reader/hmi/com.h"
#include "reader/hmi/variant.h"
#include "standin_test_util.h"

namespace quillon {
namespace hmi {
namespace {

using standin::testing::Describe;

// What a counted object reports about itself, kept outside the object so
// that it can be read after the object is gone.
struct Counts {
  int alive = 0;
  uint32_t references = 0;
};

// A dispatch object that only counts its references.
class CountedObject final : public IDispatch {
 public:
  explicit CountedObject(Counts* counts) : counts_(counts) { ++counts_->alive; }
  uint32_t AddRef() override { return ++counts_->references; }
  uint32_t Release() override {
    uint32_t left = --counts_->references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT QueryInterface(InterfaceId iid, void** object) override {
    *object = nullptr;
    if (iid != InterfaceId::kUnknown && iid != InterfaceId::kDispatch) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT GetIDsOfNames(const std::string&, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, LCID, uint16_t, const std::vector<Variant>&, Variant*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  ~CountedObject() override { --counts_->alive; }
  Counts* counts_;
};

struct ChangeCase {
  const char* label;
  Variant source;
  VARTYPE target;
  HRESULT result;
  const char* expected;  // Describe() of the result when it succeeds
};

TEST(ChangeTypeTest, ConvertsLikeTheAutomationLayer) {
  const ChangeCase cases[] = {
      {"int to real", Variant::I4(7), VT_R8, S_OK, "R8:7"},
      // A value the converter takes as an integer is coerced as the
      // platform's variant coercion does: halves to even, numeric text read,
      // true is -1, empty is 0, out of range DISP_E_OVERFLOW (the HMI's own
      // integer getters round halves away from zero instead).
      {"half rounds to even (down)", Variant::R8(2.5), VT_I4, S_OK, "I4:2"},
      {"half rounds to even (up)", Variant::R8(3.5), VT_I4, S_OK, "I4:4"},
      {"negative half", Variant::R8(-2.5), VT_I2, S_OK, "I2:-2"},
      {"above a half", Variant::R8(2.51), VT_I4, S_OK, "I4:3"},
      {"short overflow", Variant::R8(40000), VT_I2, DISP_E_OVERFLOW, ""},
      {"byte below zero", Variant::I4(-1), VT_UI1, DISP_E_OVERFLOW, ""},
      {"real overflow", Variant::R8(1e300), VT_R4, DISP_E_OVERFLOW, ""},
      {"numeric text", Variant::Bstr(" 12.5 "), VT_R8, S_OK, "R8:12.5"},
      {"numeric text to int", Variant::Bstr("12.5"), VT_I4, S_OK, "I4:12"},
      {"word", Variant::Bstr("abc"), VT_R8, DISP_E_TYPEMISMATCH, ""},
      {"hex text", Variant::Bstr("0x10"), VT_I4, DISP_E_TYPEMISMATCH, ""},
      {"empty text", Variant::Bstr(""), VT_I4, DISP_E_TYPEMISMATCH, ""},
      {"text True", Variant::Bstr("TRUE"), VT_BOOL, S_OK, "BOOL:-1"},
      {"text True is no number", Variant::Bstr("True"), VT_I4, DISP_E_TYPEMISMATCH, ""},
      {"bool to int", Variant::Bool(true), VT_I4, S_OK, "I4:-1"},
      {"bool to short", Variant::Bool(true), VT_I2, S_OK, "I2:-1"},
      {"empty to int", Variant(), VT_I4, S_OK, "I4:0"},
      {"int overflow", Variant::R8(2147483648.0), VT_I4, DISP_E_OVERFLOW, ""},
      {"half text to even", Variant::Bstr("3.5"), VT_I2, S_OK, "I2:4"},
      {"number to bool", Variant::I2(5), VT_BOOL, S_OK, "BOOL:-1"},
      {"zero to bool", Variant::R8(0.0), VT_BOOL, S_OK, "BOOL:0"},
      {"empty to real", Variant(), VT_R8, S_OK, "R8:0"},
      {"empty to text", Variant(), VT_BSTR, S_OK, "BSTR:"},
      {"real to text", Variant::R8(0.1), VT_BSTR, S_OK, "BSTR:0.1"},
      {"float to text", Variant::R4(0.1f), VT_BSTR, S_OK, "BSTR:0.1"},
      {"int to text", Variant::I4(-42), VT_BSTR, S_OK, "BSTR:-42"},
      {"bool to text", Variant::Bool(false), VT_BSTR, S_OK, "BSTR:False"},
      {"object to number", Variant::Dispatch(nullptr), VT_I4, DISP_E_TYPEMISMATCH, ""},
      {"array to text", MakeStringArray({"a"}), VT_BSTR, DISP_E_TYPEMISMATCH, ""},
  };
  for (const ChangeCase& c : cases) {
    Variant result = Variant::Bstr("untouched");
    EXPECT_EQ(ChangeType(c.source, c.target, &result), c.result) << c.label;
    if (c.result == S_OK) {
      EXPECT_EQ(Describe(result), c.expected) << c.label;
    } else {
      EXPECT_EQ(Describe(result), "BSTR:untouched") << c.label;
    }
  }
}

// A variant set in place equals the one its factory makes, whatever it
// held before: the old text, object or array is gone.
TEST(VariantTest, SettersMakeWhatTheFactoriesMake) {
  Counts counts;
  auto held = [&counts]() {
    std::vector<Variant> values = {
        Variant(), Variant::Bstr(std::string(100, 'x')), Variant::R8(2.5), Variant::I4(-9),
        MakeStringArray({"a", "b"})};
    values.push_back(Variant::Dispatch(ComPtr<IDispatch>(MakeCom<CountedObject>(&counts))));
    return values;
  };
  struct Case {
    Variant made;
    void (*set)(Variant*);
  };
  const Case cases[] = {
      {Variant::I2(-7), [](Variant* v) { v->SetI2(-7); }},
      {Variant::I4(2147483647), [](Variant* v) { v->SetI4(2147483647); }},
      {Variant::R4(0.1f), [](Variant* v) { v->SetR4(0.1f); }},
      {Variant::R8(-0.0), [](Variant* v) { v->SetR8(-0.0); }},
      {Variant::UI1(200), [](Variant* v) { v->SetUI1(200); }},
      {Variant::Bool(true), [](Variant* v) { v->SetBool(true); }},
      {Variant::Bool(false), [](Variant* v) { v->SetBool(false); }},
      {Variant::Bstr("short"), [](Variant* v) { v->SetBstr("short"); }},
      {Variant::Bstr(""), [](Variant* v) { v->SetBstr(""); }},
      {Variant::Bstr(std::string(40, 'y')), [](Variant* v) { v->SetBstr(std::string(40, 'y')); }},
  };
  for (const Case& c : cases) {
    for (Variant& before : held()) {
      SCOPED_TRACE(Describe(c.made) + " over " + Describe(before));
      c.set(&before);
      EXPECT_EQ(before.vt(), c.made.vt());
      EXPECT_EQ(Describe(before), Describe(c.made));
      EXPECT_EQ(before.bstr(), c.made.bstr());
      EXPECT_EQ(before.i4(), c.made.i4());
      EXPECT_EQ(std::signbit(before.r8()), std::signbit(c.made.r8()));
      EXPECT_EQ(before.r8(), c.made.r8());
      EXPECT_FALSE(before.dispatch());
      EXPECT_EQ(before.array(), nullptr);
      EXPECT_EQ(before.byref(), nullptr);
    }
  }
  EXPECT_EQ(counts.alive, 0) << "every object held before was released";
}

// RealOf gives what ChangeType to VT_R8 gives, and fails where it fails.
TEST(RealOfTest, AgreesWithChangeTypeToReal) {
  const Variant values[] = {
      Variant(),           Variant::I2(-7),          Variant::I4(2147483647),
      Variant::UI1(200),   Variant::Bool(true),      Variant::Bool(false),
      Variant::R4(0.1f),   Variant::R4(-0.0f),       Variant::R8(785.5),
      Variant::R8(-0.0),   Variant::R8(1e300),       Variant::R8(std::nan("")),
      Variant::R8(HUGE_VAL), Variant::Bstr(" 12.5 "), Variant::Bstr("1e3"),
      Variant::Bstr("abc"), Variant::Bstr(""),        Variant::Bstr("True"),
      Variant::Bstr("0x10"), Variant::Dispatch(nullptr), MakeStringArray({"1"}),
  };
  for (const Variant& value : values) {
    SCOPED_TRACE(Describe(value));
    Variant changed;
    const bool converts = Succeeded(ChangeType(value, VT_R8, &changed));
    double number = 42.0;
    ASSERT_EQ(RealOf(value, &number), converts);
    if (!converts) {
      EXPECT_EQ(number, 42.0) << "left unchanged";
    } else if (std::isnan(changed.r8())) {
      EXPECT_TRUE(std::isnan(number));
    } else {
      EXPECT_EQ(number, changed.r8());
      EXPECT_EQ(std::signbit(number), std::signbit(changed.r8()));
    }
  }
}

TEST(TextToNumberTest, AcceptsOnlyDecimalNumbers) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  };
  const Case cases[] = {
      {"12", true, 12},  {" -3.5\t", true, -3.5}, {"+4", true, 4},    {"1e3", true, 1000},
      {".5", true, 0.5}, {"", false, 0},          {"  ", false, 0},   {"12abc", false, 0},
      {"inf", false, 0}, {"nan", false, 0},       {"0x1A", false, 0}, {"1e999", false, 0},
  };
  for (const Case& c : cases) {
    double value = -1;
    EXPECT_EQ(TextToNumber(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(value, c.value) << c.text;
    }
  }
}

TEST(SafeArrayTest, BoundsAndElements) {
  SafeArray array(VT_BSTR, 3, {Variant::Bstr("a"), Variant::Bstr("b")});
  int32_t low = 0, high = 0;
  ASSERT_EQ(array.GetLBound(1, &low), S_OK);
  ASSERT_EQ(array.GetUBound(1, &high), S_OK);
  EXPECT_EQ(low, 3);
  EXPECT_EQ(high, 4);
  EXPECT_EQ(array.GetLBound(2, &low), DISP_E_BADINDEX);
  Variant element;
  EXPECT_EQ(array.GetElement(4, &element), S_OK);
  EXPECT_EQ(Describe(element), "BSTR:b");
  EXPECT_EQ(array.GetElement(2, &element), DISP_E_BADINDEX);
  EXPECT_EQ(array.GetElement(5, &element), DISP_E_BADINDEX);

  SafeArray empty(VT_DISPATCH, 0, {});
  ASSERT_EQ(empty.GetUBound(1, &high), S_OK);
  EXPECT_EQ(high, -1);
  EXPECT_EQ(empty.GetElement(0, &element), DISP_E_BADINDEX);
  EXPECT_EQ(MakeStringArray({}).vt(), VT_ARRAY | VT_BSTR);
  EXPECT_EQ(MakeObjectArray({}).vt(), VT_ARRAY | VT_DISPATCH);
}

TEST(GuidTest, ComparesTheSixteenBytes) {
  EXPECT_TRUE(
      SameGuid("{8D6E4AC1-7840-11D0-8FE4-444553540000}", "{8d6e4ac1-7840-11d0-8fe4-444553540000}"));
  EXPECT_FALSE(
      SameGuid("{8D6E4AC1-7840-11D0-8FE4-444553540000}", "{8D6E4AC1-7840-11D0-8FE4-444553540001}"));
  Guid guid;
  EXPECT_TRUE(ParseGuid("{00000000-0000-0000-0000-0000000000FF}", &guid));
  EXPECT_EQ(guid.bytes[15], 0xFF);
  for (const char* bad :
       {"8D6E4AC1-7840-11D0-8FE4-444553540000", "{8D6E4AC1-7840-11D0-8FE4}",
        "{8D6E4AC1-7840-11D0-8FE4-44455354000G}", "{8D6E4AC1+7840-11D0-8FE4-444553540000}", ""}) {
    EXPECT_FALSE(ParseGuid(bad, &guid)) << bad;
    EXPECT_FALSE(SameGuid(bad, bad)) << bad;
  }
}

TEST(ComPtrTest, HoldsExactlyOneReferencePerPointer) {
  Counts counts;
  {
    ComPtr<CountedObject> first = MakeCom<CountedObject>(&counts);
    EXPECT_EQ(counts.references, 1u);
    ComPtr<CountedObject> copy = first;
    EXPECT_EQ(counts.references, 2u);
    ComPtr<CountedObject> moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(counts.references, 2u);
    ComPtr<IDispatch> base = first;  // same object through its interface
    EXPECT_EQ(counts.references, 3u);
    ComPtr<IUnknown> queried;
    EXPECT_EQ(base.As(&queried), S_OK);
    EXPECT_EQ(counts.references, 4u);
    {
      Variant holder = Variant::Dispatch(base);
      Variant copy_of_holder = holder;
      EXPECT_EQ(counts.references, 6u);
      copy_of_holder.Clear();
      EXPECT_EQ(counts.references, 5u);
    }
    moved.Reset();
    EXPECT_EQ(counts.references, 3u);
    base = nullptr;
    queried = nullptr;
    EXPECT_EQ(counts.references, 1u);
    EXPECT_EQ(counts.alive, 1);
  }
  EXPECT_EQ(counts.alive, 0);
}

TEST(ComPtrTest, QueryRefusalLeavesTheTargetEmpty) {
  Counts counts;
  ComPtr<CountedObject> object = MakeCom<CountedObject>(&counts);
  ComPtr<IHmiPicture> picture;
  EXPECT_EQ(Query(static_cast<IDispatch*>(object.get()), &picture), E_NOINTERFACE);
  EXPECT_FALSE(picture);
  EXPECT_EQ(counts.references, 1u);
  ComPtr<IDispatch> none;
  EXPECT_EQ(none.As(&picture), E_POINTER);
}

}  // namespace
}  // namespace hmi
}  // namespace quillon
