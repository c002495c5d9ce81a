// Self-describing values of HMI calls: a Variant carries a type number
// (the VT_ numbers below, which the converter compares) and a value of that
// type; a SafeArray carries a one-dimensional list of such values.
#ifndef QUILLON_READER_HMI_VARIANT_H_
#define QUILLON_READER_HMI_VARIANT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reader/hmi/com.h"

namespace quillon {
namespace hmi {

using VARTYPE = uint16_t;

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R4 = 4;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_ARRAY = 0x2000;
constexpr VARTYPE VT_BYREF = 0x4000;
constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

// The two values of a 16-bit boolean.
constexpr int16_t VARIANT_TRUE = -1;
constexpr int16_t VARIANT_FALSE = 0;

class SafeArray;

// A value of one of the VT_ types. Texts are 8-bit (the converter's code
// page). A VT_DISPATCH variant holds a reference to its object; a VT_ARRAY
// variant shares its (unchangeable) array; a VT_BYREF variant points at a
// Variant owned by the caller, which a call fills as an output parameter.
// The accessors of a type may only be used on a variant of that type.
class Variant {
 public:
  Variant() = default;

  static Variant I2(int16_t value);
  static Variant I4(int32_t value);
  static Variant R4(float value);
  static Variant R8(double value);
  static Variant UI1(uint8_t value);
  // A 16-bit boolean: VARIANT_TRUE (-1) or VARIANT_FALSE (0).
  static Variant Bool(bool value);
  static Variant Bstr(std::string value);
  static Variant Dispatch(ComPtr<IDispatch> object);
  // VT_ARRAY | the array's element type.
  static Variant Array(std::shared_ptr<const SafeArray> array);
  // VT_BYREF | `type`: an output parameter that the callee stores into
  // *target. `target` must outlive the call.
  static Variant ByRef(VARTYPE type, Variant* target);

  VARTYPE vt() const { return vt_; }
  bool is_empty() const { return vt_ == VT_EMPTY; }

  int16_t i2() const { return static_cast<int16_t>(integer_); }
  int32_t i4() const { return static_cast<int32_t>(integer_); }
  uint8_t ui1() const { return static_cast<uint8_t>(integer_); }
  int16_t bool_val() const { return static_cast<int16_t>(integer_); }
  float r4() const { return static_cast<float>(real_); }
  double r8() const { return real_; }
  const std::string& bstr() const { return text_; }
  const ComPtr<IDispatch>& dispatch() const { return object_; }
  const SafeArray* array() const { return array_.get(); }
  const std::shared_ptr<const SafeArray>& shared_array() const { return array_; }
  Variant* byref() const { return byref_; }

  // Back to VT_EMPTY, dropping any object reference.
  void Clear() { *this = Variant(); }

  // Make the variant what the factory of the same name makes, in place:
  // what it held is dropped, and its text keeps its room for a new one (a
  // caller that fills one variant again and again makes no new ones).
  void SetI2(int16_t value) { SetScalar(VT_I2, value, 0.0); }
  void SetI4(int32_t value) { SetScalar(VT_I4, value, 0.0); }
  void SetR4(float value) { SetScalar(VT_R4, 0, value); }
  void SetR8(double value) { SetScalar(VT_R8, 0, value); }
  void SetUI1(uint8_t value) { SetScalar(VT_UI1, value, 0.0); }
  void SetBool(bool value) { SetScalar(VT_BOOL, value ? VARIANT_TRUE : VARIANT_FALSE, 0.0); }
  void SetBstr(std::string_view value);

 private:
  void SetScalar(VARTYPE vt, int64_t integer, double real);

  VARTYPE vt_ = VT_EMPTY;
  int64_t integer_ = 0;
  double real_ = 0.0;
  std::string text_;
  ComPtr<IDispatch> object_;
  std::shared_ptr<const SafeArray> array_;
  Variant* byref_ = nullptr;
};

// A one-dimensional array of values, indexed from a lower bound. Every
// element has the array's element type (an element of VT_VARIANT arrays may
// have any type).
class SafeArray {
 public:
  SafeArray(VARTYPE element_type, int32_t lower_bound, std::vector<Variant> elements);

  VARTYPE element_type() const { return element_type_; }
  // Number of dimensions: always 1.
  uint32_t dims() const { return 1; }
  // Bounds of dimension `dim` (from 1); DISP_E_BADINDEX for another dimension.
  HRESULT GetLBound(uint32_t dim, int32_t* bound) const;
  HRESULT GetUBound(uint32_t dim, int32_t* bound) const;
  // A copy of the element at `index`; DISP_E_BADINDEX outside the bounds.
  HRESULT GetElement(int32_t index, Variant* element) const;
  size_t size() const { return elements_.size(); }

 private:
  VARTYPE element_type_;
  int32_t lower_bound_;
  std::vector<Variant> elements_;
};

// VT_ARRAY|VT_BSTR of `texts`, lower bound 0.
Variant MakeStringArray(const std::vector<std::string>& texts);
// VT_ARRAY|VT_DISPATCH of `objects`, lower bound 0.
Variant MakeObjectArray(const std::vector<ComPtr<IDispatch>>& objects);

// Converts `source` to type `type` (a scalar type: VT_EMPTY, VT_I2, VT_I4,
// VT_R4, VT_R8, VT_BSTR, VT_BOOL, VT_UI1), the way the HMI's automation layer
// does:
// - an empty value becomes 0, false or the empty text;
// - numbers and booleans convert to each other (true is -1; any non-zero
//   number is true); reals round to integers half to even;
// - a text converts to a number when it reads as a decimal number (blanks
//   around it allowed), to a boolean also when it is "True" or "False" (any
//   case);
// - numbers become texts with up to 7 (VT_R4) or 15 (VT_R8) significant
//   digits, booleans "True" / "False".
// Returns DISP_E_OVERFLOW when the number does not fit the target type and
// DISP_E_TYPEMISMATCH when no conversion exists (objects, arrays, texts that
// are not numbers); *result is then left unchanged.
HRESULT ChangeType(const Variant& source, VARTYPE type, Variant* result);

// The number that ChangeType to VT_R8 gives for `source`, without making a
// variant of it; false (leaving *number unchanged) when ChangeType fails.
bool RealOf(const Variant& source, double* number);

// Reads a text as a finite decimal number ("12", "-3.5", "1e3", blanks and
// tabs around it allowed). Returns false for anything else.
bool TextToNumber(const std::string& text, double* value);

}  // namespace hmi
}  // namespace quillon

#endif  // QUILLON_READER_HMI_VARIANT_H_
