// How the converter reaches the HMI application: document storages, object
// creation by class identifier, and the running application. The host hands
// the converter one HmiHost; the converter never knows which HMI answers.
#ifndef QUILLON_READER_HMI_HOST_H_
#define QUILLON_READER_HMI_HOST_H_

#include <cstdint>
#include <string>

#include "reader/hmi/automation.h"
#include "reader/hmi/com.h"

namespace quillon {
namespace hmi {

// The class of the HMI's in-process picture object.
constexpr char kPictureClassId[] = "{8D6E4AC1-7840-11D0-8FE4-444553540000}";
// The HMI picture-object interface (IHmiPicture) that the picture's dispatch
// interface is asked for.
constexpr char kPictureInterfaceId[] = "{2461FBD1-1D4E-11D1-A34D-00A024CDD5E5}";
// The class of the HMI's other documents (shared tables), in process.
constexpr char kDocumentClassId[] = "{8D6E4AC4-7840-11D0-8FE4-444553540000}";
// The HMI application, a local server.
constexpr char kApplicationClassId[] = "{8D6E4AC0-7840-11D0-8FE4-444553540000}";
// Embedded controls the converter recognises by their class.
constexpr char kAlarmSummaryClassId[] = "{5F4A2B10-3C7D-4E21-9A6B-0C1D2E3F4A5B}";
constexpr char kAlarmSummaryProgId[] = "HmiAlarmSummary.Control.1";
constexpr char kCommandButtonClassId[] = "{D7053240-CE69-11CD-A777-00DD01143C57}";
constexpr char kCommandButtonProgId[] = "Forms.CommandButton.1";

// Opening mode of a document storage: read, transacted, sharing not denied.
constexpr uint32_t kStorageReadTransacted = 0x10040;

// Where a created object runs.
enum class ClassContext : uint32_t {
  kInProcessServer = 0x1,
  kLocalServer = 0x4,
};

// An opened document file.
class IStorage : public IUnknown {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kStorage;
  // The path the storage was opened from.
  virtual HRESULT Path(std::string* path) = 0;
  // The whole content of the document.
  virtual HRESULT ReadContents(std::string* contents) = 0;

 protected:
  ~IStorage() override = default;
};

// The embedded-object side of a created HMI document (asked for on creation).
class IOleObject : public IUnknown {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kOleObject;

 protected:
  ~IOleObject() override = default;
};

// Loading an HMI document object from its storage.
class IPersistStorage : public IUnknown {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kPersistStorage;
  // Loads the document once; E_UNEXPECTED when it is already loaded.
  virtual HRESULT Load(IStorage* storage) = 0;

 protected:
  ~IPersistStorage() override = default;
};

// The platform entry points of the HMI. The host owns its HmiHost and keeps
// it alive for the whole conversion.
class HmiHost {
 public:
  virtual ~HmiHost() = default;

  // Opens the document file at `path` as a storage with `mode`
  // (kStorageReadTransacted). Fails (STG_E_FILENOTFOUND, ...) when the file
  // cannot be opened.
  virtual HRESULT OpenStorage(const std::string& path, uint32_t mode,
                              ComPtr<IStorage>* storage) = 0;

  // Creates an object of class `class_id` (braced identifier text) in
  // `context` and asks it for `iid`; *object receives the interface pointer
  // with a reference for the caller. Use CreateInstance.
  // REGDB_E_CLASSNOTREG for an unknown class; the application class fails
  // while the HMI is not running.
  virtual HRESULT CreateObject(const std::string& class_id, ClassContext context, InterfaceId iid,
                               void** object) = 0;

  // The class identifier registered for a ProgID; CO_E_CLASSSTRING when the
  // ProgID is unknown.
  virtual HRESULT ClassIdFromProgId(const std::string& prog_id, std::string* class_id) = 0;

  // The running HMI application; fails while it is not running.
  virtual HRESULT GetRunningApplication(ComPtr<IHmiApplication>* application) = 0;

  // Typed creation: *object receives interface T of a new object of class
  // `class_id`, or is emptied on failure.
  template <class T>
  HRESULT CreateInstance(const std::string& class_id, ClassContext context, ComPtr<T>* object) {
    *object = nullptr;
    void* raw = nullptr;
    HRESULT hr = CreateObject(class_id, context, T::kIid, &raw);
    if (Failed(hr)) return hr;
    if (!raw) return E_NOINTERFACE;
    *object = ComPtr<T>::Adopt(static_cast<T*>(raw));
    return hr;
  }
};

}  // namespace hmi
}  // namespace quillon

#endif  // QUILLON_READER_HMI_HOST_H_
