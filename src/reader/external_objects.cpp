// Objects of other HMI documents, such as shared lookup tables: found in the
// running HMI when it has the document open, else in the document's file.
#include "driver/settings.h"
#include "platform/text_file.h"
#include "reader/picture_reader.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

int PictureReader::FindExternalObject(const std::string& reference,
                                      ComPtr<hmi::IHmiObject>* object) {
  *object = nullptr;
  std::string picture_directory;
  if (registry_ == nullptr ||
      !ReadSettingValue(services(), registry_, kPicturePathKey, kAnyLength,
                        &picture_directory)) {
    Report(Text(kResNoPictureDirectory));
    return 1;
  }
  size_t dot = reference.find('.');
  // Without a document name there is nothing to ask.
  if (dot == std::string::npos || host_ == nullptr) return hmi::E_INVALIDARG;
  const std::string document_name = reference.substr(0, dot);
  const std::string rest = reference.substr(dot + 1);
  size_t rest_dot = rest.find('.');
  const std::string object_name =
      rest_dot == std::string::npos ? rest : document_name + "." + rest.substr(0, rest_dot);
  const std::string file_object_name =
      rest_dot == std::string::npos ? reference : object_name;

  // The running HMI: every object on the way is let go again.
  {
    ComPtr<hmi::IHmiApplication> application;
    if (host_->CreateInstance(hmi::kApplicationClassId, hmi::ClassContext::kLocalServer,
                              &application) == hmi::S_OK) {
      ComPtr<hmi::IDispatch> document;
      ComPtr<hmi::IHmiObject> document_object;
      if (hmi::Succeeded(application->DocumentByName(document_name, &document)) && document &&
          hmi::Succeeded(document.As(&document_object)) &&
          hmi::Succeeded(document_object->ObjectByName(object_name, object)) && *object) {
        return 0;
      }
      *object = nullptr;
    }
  }

  const std::string path = JoinPath(picture_directory, document_name + ".qvg");
  hmi::TakeErrorInfo();
  HRESULT hr = host_->OpenStorage(path, hmi::kStorageReadTransacted, &external_.storage);
  if (hmi::Failed(hr)) {
    // The HMI may say why (a path that is no regular file, for one).
    const std::string cause = hmi::TakeErrorInfo();
    Report(Text(kResOpenDocumentFailed) + (cause.empty() ? "" : " (" + cause + ")"));
    return hr;
  }
  hr = host_->CreateInstance(hmi::kDocumentClassId, hmi::ClassContext::kInProcessServer,
                             &external_.ole_object);
  if (hmi::Failed(hr)) {
    Report(Text(kResCreateDocumentFailed));
    return hr;
  }
  hr = external_.ole_object.As(&external_.persist_storage);
  if (hmi::Failed(hr)) {
    Report(Text(kResNoDocumentObject));
    return hr;
  }
  hr = external_.persist_storage->Load(external_.storage.get());
  if (hmi::Failed(hr)) {
    Report(Text(kResLoadDocumentFailed));
    return hr;
  }
  hr = external_.ole_object.As(&external_.dispatch);
  if (hmi::Succeeded(hr)) hr = external_.dispatch.As(&external_.object);
  if (hmi::Failed(hr) || !external_.object) {
    Report(Text(kResNoDocumentObject));
    return hmi::Failed(hr) ? hr : hmi::E_NOINTERFACE;
  }
  hr = external_.object->ObjectByName(file_object_name, object);
  if (hmi::Succeeded(hr) && *object) return 0;
  *object = nullptr;
  ReleaseExternalDocument();
  return hmi::Failed(hr) ? hr : hmi::E_FAIL;
}

void PictureReader::ReleaseExternalDocument() { external_ = ExternalDocument(); }

}  // namespace quillon
