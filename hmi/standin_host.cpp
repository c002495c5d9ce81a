// The stand-in HMI's entry points: file storages, object creation and the
// running application.
#include "hmi/standin_host.h"

#include <cstdio>
#include <utility>

#include "hmi/document_peek.h"
#include "hmi/latin1.h"
#include "hmi/regular_file.h"

namespace quillon {
namespace standin {

using hmi::CO_E_CLASSSTRING;
using hmi::CO_E_SERVER_EXEC_FAILURE;
using hmi::DISP_E_MEMBERNOTFOUND;
using hmi::DISP_E_UNKNOWNNAME;
using hmi::E_NOINTERFACE;
using hmi::E_POINTER;
using hmi::REGDB_E_CLASSNOTREG;
using hmi::S_OK;

namespace {

// An opened document file, read whole when it is opened.
class FileStorage final : public HeldStorage {
 public:
  FileStorage(std::string path, std::string contents)
      : path_(std::move(path)), contents_(std::move(contents)) {}

  HRESULT Path(std::string* path) override {
    *path = path_;
    return S_OK;
  }
  HRESULT ReadContents(std::string* contents) override {
    *contents = contents_;
    return S_OK;
  }
  const std::string& held_contents() const override { return contents_; }

 private:
  ~FileStorage() override = default;

  std::string path_;
  std::string contents_;
};

}  // namespace

// The running HMI application: the documents the host opened in it.
class Application final : public SimpleDispatchObject<hmi::IHmiApplication> {
 public:
  HRESULT DocumentByName(const std::string& name, ComPtr<hmi::IDispatch>* document) override {
    for (const ComPtr<Document>& open : documents_) {
      if (EqualsIgnoringCase(open->name(), name)) {
        *document = open->Dispatch();
        return S_OK;
      }
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  void Add(ComPtr<Document> document) { documents_.push_back(std::move(document)); }
  bool running() const { return !documents_.empty(); }

 private:
  ~Application() override = default;

  std::vector<ComPtr<Document>> documents_;
};

StandInHost::StandInHost(LoadOptions options) : options_(options) {}

StandInHost::~StandInHost() = default;

HRESULT StandInHost::OpenStorage(const std::string& path, uint32_t mode,
                                 ComPtr<hmi::IStorage>* storage) {
  *storage = nullptr;
  // Access bits: 0 reads; writing is not offered.
  if ((mode & 0x3) != 0) return hmi::STG_E_ACCESSDENIED;
  std::string contents, error;
  switch (ReadRegularFile(path, &contents, &error)) {
    case FileReadResult::kOk:
      break;
    case FileReadResult::kMissing:
      return hmi::STG_E_FILENOTFOUND;
    case FileReadResult::kNotRegular:
    case FileReadResult::kFailed:
      // The caller's log line names the cause.
      hmi::SetErrorInfo(error);
      return hmi::STG_E_ACCESSDENIED;
  }
  storage_refusals_ = PeekDocumentRefusals(contents);
  *storage = hmi::MakeCom<FileStorage>(path, std::move(contents));
  return S_OK;
}

HRESULT StandInHost::CreateObject(const std::string& class_id, hmi::ClassContext context,
                                  InterfaceId iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (hmi::SameGuid(class_id, hmi::kPictureClassId) ||
      hmi::SameGuid(class_id, hmi::kDocumentClassId)) {
    if (context != hmi::ClassContext::kInProcessServer) return REGDB_E_CLASSNOTREG;
    ComPtr<Document> document = hmi::MakeCom<Document>(options_);
    document->set_clipboard(clipboard());
    document->PresetRefusals(storage_refusals_);
    return document->QueryInterface(iid, object);
  }
  if (hmi::SameGuid(class_id, hmi::kApplicationClassId)) {
    if (context != hmi::ClassContext::kLocalServer) return REGDB_E_CLASSNOTREG;
    if (!application_ || !application_->running()) return CO_E_SERVER_EXEC_FAILURE;
    return application_->QueryInterface(iid, object);
  }
  return REGDB_E_CLASSNOTREG;
}

HRESULT StandInHost::ClassIdFromProgId(const std::string& prog_id, std::string* class_id) {
  for (const auto& [registered, id] : prog_ids_) {
    if (EqualsIgnoringCase(registered, prog_id)) {
      *class_id = id;
      return S_OK;
    }
  }
  if (EqualsIgnoringCase(prog_id, hmi::kAlarmSummaryProgId)) {
    *class_id = hmi::kAlarmSummaryClassId;
    return S_OK;
  }
  if (EqualsIgnoringCase(prog_id, hmi::kCommandButtonProgId)) {
    *class_id = hmi::kCommandButtonClassId;
    return S_OK;
  }
  return CO_E_CLASSSTRING;
}

HRESULT StandInHost::GetRunningApplication(ComPtr<hmi::IHmiApplication>* application) {
  *application = nullptr;
  if (!application_ || !application_->running()) return CO_E_SERVER_EXEC_FAILURE;
  *application = ComPtr<hmi::IHmiApplication>(application_.get());
  return S_OK;
}

namespace {

// Why a document file could not be opened, in words.
std::string Describe(HRESULT hr) {
  switch (hr) {
    case hmi::STG_E_FILENOTFOUND:
    case hmi::STG_E_PATHNOTFOUND:
      return "there is no such file";
    case hmi::STG_E_ACCESSDENIED:
      return "it cannot be read: it is a folder, or reading it is not permitted";
    case hmi::STG_E_READFAULT:
      return "reading it failed";
    default:
      break;
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return std::string("error ") + text;
}

}  // namespace

HRESULT StandInHost::LoadFile(const std::string& path, ComPtr<Document>* document,
                              std::string* error) {
  ComPtr<hmi::IStorage> storage;
  HRESULT hr = OpenStorage(path, hmi::kStorageReadTransacted, &storage);
  if (hmi::Failed(hr)) {
    *error = path + ": cannot open the file: " + Describe(hr);
    return hr;
  }
  ComPtr<Document> loaded = hmi::MakeCom<Document>(options_);
  loaded->set_clipboard(clipboard());
  hr = loaded->Load(storage.get());
  if (hmi::Failed(hr)) {
    *error = path + ": " + loaded->load_error();
    return hr;
  }
  *document = std::move(loaded);
  return S_OK;
}

HRESULT StandInHost::LoadDocument(const std::string& path, ComPtr<hmi::IDispatch>* document,
                                  std::string* error) {
  *document = nullptr;
  ComPtr<Document> loaded;
  HRESULT hr = LoadFile(path, &loaded, error);
  if (hmi::Succeeded(hr)) *document = loaded->Dispatch();
  return hr;
}

HRESULT StandInHost::OpenInApplication(const std::string& path, std::string* error) {
  ComPtr<Document> loaded;
  HRESULT hr = LoadFile(path, &loaded, error);
  if (hmi::Failed(hr)) return hr;
  if (!application_) application_ = hmi::MakeCom<Application>();
  application_->Add(std::move(loaded));
  return S_OK;
}

void StandInHost::RegisterProgId(const std::string& prog_id, const std::string& class_id) {
  prog_ids_.emplace_back(prog_id, class_id);
}

}  // namespace standin
}  // namespace quillon
