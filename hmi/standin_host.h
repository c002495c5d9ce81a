// The stand-in HMI as a host hands it to the converter: document files open
// as storages, the picture and document classes create stand-in documents,
// and a running application holds the documents the host opened in it.
#ifndef QUILLON_HMI_STANDIN_HOST_H_
#define QUILLON_HMI_STANDIN_HOST_H_

#include <string>
#include <utility>
#include <vector>

#include "hmi/document.h"
#include "reader/hmi/host.h"

namespace quillon {
namespace standin {

class Application;

class StandInHost final : public hmi::HmiHost {
 public:
  explicit StandInHost(LoadOptions options = LoadOptions());
  ~StandInHost() override;
  StandInHost(const StandInHost&) = delete;
  StandInHost& operator=(const StandInHost&) = delete;

  // Reads the whole file; the next document made refuses what the file's
  // document refuses. STG_E_FILENOTFOUND when it does not exist,
  // STG_E_ACCESSDENIED when it cannot be read or `mode` asks for writing.
  HRESULT OpenStorage(const std::string& path, uint32_t mode,
                      ComPtr<hmi::IStorage>* storage) override;
  // The picture and document classes (in process) make a new, unloaded
  // document; the application class (local server) answers the running
  // application, and fails with CO_E_SERVER_EXEC_FAILURE while no document
  // has been opened in it.
  HRESULT CreateObject(const std::string& class_id, hmi::ClassContext context, InterfaceId iid,
                       void** object) override;
  // The alarm summary's and the command button's ProgIDs, and those
  // registered with RegisterProgId (without regard to case).
  HRESULT ClassIdFromProgId(const std::string& prog_id, std::string* class_id) override;
  HRESULT GetRunningApplication(ComPtr<hmi::IHmiApplication>* application) override;

  // Loads the document file at `path` as the converter opens a picture
  // (storage, creation, loading); *document receives its dispatch
  // interface. On failure *error says why (with the path).
  HRESULT LoadDocument(const std::string& path, ComPtr<hmi::IDispatch>* document,
                       std::string* error);
  // Loads the document file at `path` into the running application, which
  // starts with the first document opened.
  HRESULT OpenInApplication(const std::string& path, std::string* error);
  // Makes ClassIdFromProgId answer `class_id` for `prog_id`.
  void RegisterProgId(const std::string& prog_id, const std::string& class_id);

  // The clipboard that the documents made from now on copy bitmaps to (not
  // owned; it must outlive them): the process's clipboard unless set.
  void set_clipboard(Clipboard* clipboard) { clipboard_ = clipboard; }
  Clipboard* clipboard() const { return clipboard_ != nullptr ? clipboard_ : &SystemClipboard(); }

 private:
  HRESULT LoadFile(const std::string& path, ComPtr<Document>* document, std::string* error);

  LoadOptions options_;
  ComPtr<Application> application_;
  // The interfaces the document of the storage opened last refuses.
  std::vector<InterfaceId> storage_refusals_;
  std::vector<std::pair<std::string, std::string>> prog_ids_;
  Clipboard* clipboard_ = nullptr;
};

}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_HMI_STANDIN_HOST_H_
