// Variant construction, arrays and the type conversions of HMI values.
#include "reader/hmi/variant.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace quillon {
namespace hmi {

Variant Variant::I2(int16_t value) {
  Variant v;
  v.vt_ = VT_I2;
  v.integer_ = value;
  return v;
}

Variant Variant::I4(int32_t value) {
  Variant v;
  v.vt_ = VT_I4;
  v.integer_ = value;
  return v;
}

Variant Variant::R4(float value) {
  Variant v;
  v.vt_ = VT_R4;
  v.real_ = value;
  return v;
}

Variant Variant::R8(double value) {
  Variant v;
  v.vt_ = VT_R8;
  v.real_ = value;
  return v;
}

Variant Variant::UI1(uint8_t value) {
  Variant v;
  v.vt_ = VT_UI1;
  v.integer_ = value;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.vt_ = VT_BOOL;
  v.integer_ = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

void Variant::SetScalar(VARTYPE vt, int64_t integer, double real) {
  vt_ = vt;
  integer_ = integer;
  real_ = real;
  text_.clear();
  object_ = nullptr;
  array_.reset();
  byref_ = nullptr;
}

void Variant::SetBstr(std::string_view value) {
  vt_ = VT_BSTR;
  integer_ = 0;
  real_ = 0.0;
  text_.assign(value.data(), value.size());
  object_ = nullptr;
  array_.reset();
  byref_ = nullptr;
}

Variant Variant::Bstr(std::string value) {
  Variant v;
  v.vt_ = VT_BSTR;
  v.text_ = std::move(value);
  return v;
}

Variant Variant::Dispatch(ComPtr<IDispatch> object) {
  Variant v;
  v.vt_ = VT_DISPATCH;
  v.object_ = std::move(object);
  return v;
}

Variant Variant::Array(std::shared_ptr<const SafeArray> array) {
  Variant v;
  v.vt_ = static_cast<VARTYPE>(VT_ARRAY | (array ? array->element_type() : VT_EMPTY));
  v.array_ = std::move(array);
  return v;
}

Variant Variant::ByRef(VARTYPE type, Variant* target) {
  Variant v;
  v.vt_ = static_cast<VARTYPE>(VT_BYREF | type);
  v.byref_ = target;
  return v;
}

SafeArray::SafeArray(VARTYPE element_type, int32_t lower_bound, std::vector<Variant> elements)
    : element_type_(element_type), lower_bound_(lower_bound), elements_(std::move(elements)) {}

HRESULT SafeArray::GetLBound(uint32_t dim, int32_t* bound) const {
  if (dim != 1) return DISP_E_BADINDEX;
  *bound = lower_bound_;
  return S_OK;
}

HRESULT SafeArray::GetUBound(uint32_t dim, int32_t* bound) const {
  if (dim != 1) return DISP_E_BADINDEX;
  *bound = static_cast<int32_t>(lower_bound_ + static_cast<int64_t>(elements_.size()) - 1);
  return S_OK;
}

HRESULT SafeArray::GetElement(int32_t index, Variant* element) const {
  int64_t offset = static_cast<int64_t>(index) - lower_bound_;
  if (offset < 0 || offset >= static_cast<int64_t>(elements_.size())) return DISP_E_BADINDEX;
  *element = elements_[static_cast<size_t>(offset)];
  return S_OK;
}

Variant MakeStringArray(const std::vector<std::string>& texts) {
  std::vector<Variant> elements;
  elements.reserve(texts.size());
  for (const std::string& text : texts) elements.push_back(Variant::Bstr(text));
  return Variant::Array(std::make_shared<const SafeArray>(VT_BSTR, 0, std::move(elements)));
}

Variant MakeObjectArray(const std::vector<ComPtr<IDispatch>>& objects) {
  std::vector<Variant> elements;
  elements.reserve(objects.size());
  for (const ComPtr<IDispatch>& object : objects) elements.push_back(Variant::Dispatch(object));
  return Variant::Array(std::make_shared<const SafeArray>(VT_DISPATCH, 0, std::move(elements)));
}

bool TextToNumber(const std::string& text, double* value) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  size_t end = text.find_last_not_of(" \t") + 1;
  const char* first = text.data() + begin;
  const char* last = text.data() + end;
  if (*first == '+') ++first;
  // Only decimal notation: no hexadecimal, infinities or NaN.
  for (const char* p = first; p != last; ++p) {
    char c = *p;
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) {
      return false;
    }
  }
  double parsed = 0.0;
  auto [ptr, ec] = std::from_chars(first, last, parsed, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// The numeric value of a scalar variant, for conversion to another type.
HRESULT NumericValue(const Variant& source, VARTYPE target, double* value) {
  switch (source.vt()) {
    case VT_EMPTY:
      *value = 0.0;
      return S_OK;
    case VT_I2:
      *value = source.i2();
      return S_OK;
    case VT_I4:
      *value = source.i4();
      return S_OK;
    case VT_UI1:
      *value = source.ui1();
      return S_OK;
    case VT_BOOL:
      *value = source.bool_val();
      return S_OK;
    case VT_R4:
      *value = source.r4();
      return S_OK;
    case VT_R8:
      *value = source.r8();
      return S_OK;
    case VT_BSTR:
      if (target == VT_BOOL) {
        if (EqualsIgnoringCase(source.bstr(), "true")) {
          *value = -1.0;
          return S_OK;
        }
        if (EqualsIgnoringCase(source.bstr(), "false")) {
          *value = 0.0;
          return S_OK;
        }
      }
      return TextToNumber(source.bstr(), value) ? S_OK : DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Rounds half to even and checks the range of an integer target.
HRESULT ToInteger(double value, double low, double high, int64_t* result) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  double floor_value = std::floor(value);
  double diff = value - floor_value;
  double rounded;
  if (diff > 0.5) {
    rounded = floor_value + 1.0;
  } else if (diff < 0.5) {
    rounded = floor_value;
  } else {
    rounded = std::fmod(floor_value, 2.0) == 0.0 ? floor_value : floor_value + 1.0;
  }
  if (rounded < low || rounded > high) return DISP_E_OVERFLOW;
  *result = static_cast<int64_t>(rounded);
  return S_OK;
}

std::string FormatReal(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
  return buffer;
}

}  // namespace

HRESULT ChangeType(const Variant& source, VARTYPE type, Variant* result) {
  switch (type) {
    case VT_EMPTY:
      if (!source.is_empty()) return DISP_E_TYPEMISMATCH;
      *result = Variant();
      return S_OK;
    case VT_BSTR:
      switch (source.vt()) {
        case VT_EMPTY:
          *result = Variant::Bstr("");
          return S_OK;
        case VT_BSTR:
          *result = source;
          return S_OK;
        case VT_I2:
        case VT_I4:
        case VT_UI1: {
          double number = 0.0;
          NumericValue(source, type, &number);
          *result = Variant::Bstr(std::to_string(static_cast<int64_t>(number)));
          return S_OK;
        }
        case VT_BOOL:
          *result = Variant::Bstr(source.bool_val() != 0 ? "True" : "False");
          return S_OK;
        case VT_R4:
          *result = Variant::Bstr(FormatReal(source.r4(), 7));
          return S_OK;
        case VT_R8:
          *result = Variant::Bstr(FormatReal(source.r8(), 15));
          return S_OK;
        default:
          return DISP_E_TYPEMISMATCH;
      }
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_BOOL:
    case VT_R4:
    case VT_R8:
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }

  double number = 0.0;
  HRESULT hr = NumericValue(source, type, &number);
  if (Failed(hr)) return hr;
  int64_t integer = 0;
  switch (type) {
    case VT_I2:
      hr = ToInteger(number, INT16_MIN, INT16_MAX, &integer);
      if (Succeeded(hr)) *result = Variant::I2(static_cast<int16_t>(integer));
      return hr;
    case VT_I4:
      hr = ToInteger(number, INT32_MIN, INT32_MAX, &integer);
      if (Succeeded(hr)) *result = Variant::I4(static_cast<int32_t>(integer));
      return hr;
    case VT_UI1:
      hr = ToInteger(number, 0, UINT8_MAX, &integer);
      if (Succeeded(hr)) *result = Variant::UI1(static_cast<uint8_t>(integer));
      return hr;
    case VT_BOOL:
      if (std::isnan(number)) return DISP_E_TYPEMISMATCH;
      *result = Variant::Bool(number != 0.0);
      return S_OK;
    case VT_R4:
      if (!std::isfinite(number) || std::fabs(number) > FLT_MAX) return DISP_E_OVERFLOW;
      *result = Variant::R4(static_cast<float>(number));
      return S_OK;
    default:  // VT_R8
      *result = Variant::R8(number);
      return S_OK;
  }
}

bool RealOf(const Variant& source, double* number) {
  if (source.vt() == VT_R8) {
    *number = source.r8();
    return true;
  }
  double converted = 0.0;
  if (Failed(NumericValue(source, VT_R8, &converted))) return false;
  *number = converted;
  return true;
}

}  // namespace hmi
}  // namespace quillon
