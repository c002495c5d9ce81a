// The object model through which the converter talks to the HMI application:
// status codes, reference-counted objects with typed interface queries, and
// late-bound (dispatch) calls. Every HMI object the converter sees is built
// on these few types.
#ifndef QUILLON_READER_HMI_COM_H_
#define QUILLON_READER_HMI_COM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillon {
namespace hmi {

// Status of every HMI call: negative is a failure, 0 or above a success.
using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FBu);
constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FFu);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005u);

inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

// The interfaces an object may be asked for. Each interface type names its
// own identifier as `kIid`.
enum class InterfaceId {
  kUnknown,
  kDispatch,
  kOleObject,
  kPersistStorage,
  kStorage,
  kHmiObjectCollection,
  kHmiObject,
  kHmiPicture,
  kHmiPictureWindow,
  kHmiGeometry,
  kHmiPoint,
  kHmiText,
  kHmiDataLinkSource,
  kHmiPolygon,
  kHmiPolyline,
  kHmiArc,
  kHmiPie,
  kHmiBitmap,
  kHmiChart,
  kHmiPen,
  kHmiOleControl,
  kHmiApplication,
  kHmiLookup,
  kHmiLinear,
  kHmiFormat,
  kHmiGlobalSysInfo,
};

// Base of every HMI object. An object lives as long as references to it are
// held; `ComPtr` holds them, so no code releases by hand.
class IUnknown {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kUnknown;

  // Takes one more reference; returns the new count (for diagnostics only).
  virtual uint32_t AddRef() = 0;
  // Drops one reference, destroying the object at zero; returns the count.
  virtual uint32_t Release() = 0;
  // Asks for interface `iid`. On success *object receives a pointer of that
  // interface's type with a reference already taken for the caller and the
  // result is S_OK; when the object does not offer it (or refuses it) the
  // result is E_NOINTERFACE and *object is null. Call it through `Query` or
  // `ComPtr::As`, which hand the reference to a ComPtr at once.
  virtual HRESULT QueryInterface(InterfaceId iid, void** object) = 0;

 protected:
  virtual ~IUnknown() = default;
};

// A counted reference to an HMI object of interface type T.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT: a null reference converts implicitly
  // Takes a new reference to `object` (which may be null).
  explicit ComPtr(T* object) : p_(object) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  // A reference to the same object through a base interface.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.get())) {}  // NOLINT
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Takes over a reference that was already counted for the caller (the
  // result of QueryInterface or of creation with a count of one).
  static ComPtr Adopt(T* object) {
    ComPtr result;
    result.p_ = object;
    return result;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  void Reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  void swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

  // Asks the object for interface U (see IUnknown::QueryInterface). On
  // failure *out is empty; an empty ComPtr answers E_POINTER.
  template <class U>
  HRESULT As(ComPtr<U>* out) const;

 private:
  T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
  return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const ComPtr<T>& a, const ComPtr<U>& b) {
  return a.get() != b.get();
}

// Asks `object` for interface T; *out receives it, or is emptied on failure.
template <class T>
HRESULT Query(IUnknown* object, ComPtr<T>* out) {
  *out = nullptr;
  if (!object) return E_POINTER;
  void* raw = nullptr;
  HRESULT hr = object->QueryInterface(T::kIid, &raw);
  if (Failed(hr)) return hr;
  if (!raw) return E_NOINTERFACE;
  *out = ComPtr<T>::Adopt(static_cast<T*>(raw));
  return hr;
}

template <class T>
template <class U>
HRESULT ComPtr<T>::As(ComPtr<U>* out) const {
  return Query(static_cast<IUnknown*>(p_), out);
}

// Creates an object of an implementation class (whose count starts at zero)
// and returns the first reference to it.
template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

// A class or interface identifier, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// held as its 16 bytes so that identifiers compare as the HMI compares them.
struct Guid {
  uint8_t bytes[16] = {};

  friend bool operator==(const Guid& a, const Guid& b);
  friend bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }
};

// Reads an identifier in the braced text form (hex digits in either case).
// Returns false, leaving *guid unchanged, when the text is not of that form.
bool ParseGuid(const std::string& text, Guid* guid);

// True when both texts are identifiers and name the same 16 bytes.
bool SameGuid(const std::string& a, const std::string& b);

class Variant;

using DISPID = int32_t;
using LCID = uint32_t;

// Kinds of late-bound call, combinable as flags.
constexpr uint16_t DISPATCH_METHOD = 0x1;
constexpr uint16_t DISPATCH_PROPERTYGET = 0x2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 0x4;
constexpr uint16_t DISPATCH_PROPERTYPUTREF = 0x8;

// The locale the converter names on every late-bound call.
constexpr LCID kLocaleSystemDefault = 0x0800;

// Late-bound access to an object's methods by name. Every HMI interface is
// also a dispatch interface.
class IDispatch : public IUnknown {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kDispatch;

  // Looks up the member called `name` (without regard to case). Returns
  // DISP_E_UNKNOWNNAME when the object has no such member.
  virtual HRESULT GetIDsOfNames(const std::string& name, LCID lcid, DISPID* dispid) = 0;
  // Calls member `dispid` with `args`, in the member's own parameter order
  // (first parameter first). An output parameter is passed as a VT_BYREF
  // variant whose referent the call fills. *result, when not null, receives
  // the return value.
  virtual HRESULT Invoke(DISPID dispid, LCID lcid, uint16_t flags, const std::vector<Variant>& args,
                         Variant* result) = 0;

 protected:
  ~IDispatch() = default;
};

// The description of the last failure of the calling thread, as an object
// may leave it for its caller (say, why a document could not be loaded).
// SetErrorInfo replaces it; TakeErrorInfo hands it out once and clears it.
void SetErrorInfo(std::string description);
std::string TakeErrorInfo();

// Treats a dispatch reference as interface T without asking the object. Only
// for dispatch references whose contract says they are T's own (the object
// handed out by "GetQevComponentDispatch" is its IHmiObject).
template <class T>
ComPtr<T> DispatchAs(const ComPtr<IDispatch>& dispatch) {
  return ComPtr<T>(static_cast<T*>(dispatch.get()));
}

}  // namespace hmi
}  // namespace quillon

#endif  // QUILLON_READER_HMI_COM_H_
