// The dialog descriptions of the resource module, one JSON object per dialog
// (the layout in dialog units, every control with its identifier). The
// converter drives the dialogs through these identifiers; captions, labels
// and positions may be changed freely, the identifiers and kinds may not.
// A static text or group box that the converter never touches has id -1.
#include <type_traits>

#include "driver/resource_abi.h"

namespace {

// Options dialog: output directory, update rate, image format, the two page
// switches, Apply, OK and Cancel.
constexpr const char kOptionsDialog[] = R"json({
  "id": 146, "caption": "Picture Converter Options", "width": 262, "height": 168,
  "controls": [
    {"id": -1, "kind": "group", "text": "Output", "label": "", "x": 7, "y": 7, "width": 248, "height": 40},
    {"id": 1001, "kind": "edit", "text": "", "label": "Output directory:", "x": 14, "y": 26, "width": 180, "height": 14},
    {"id": 1000, "kind": "button", "text": "Browse...", "label": "", "x": 200, "y": 26, "width": 48, "height": 14},
    {"id": -1, "kind": "group", "text": "Web page", "label": "", "x": 7, "y": 52, "width": 122, "height": 82},
    {"id": 1025, "kind": "edit", "text": "", "label": "Update rate (1 to 59):", "x": 14, "y": 72, "width": 36, "height": 14},
    {"id": 1027, "kind": "updown", "text": "", "label": "", "x": 50, "y": 72, "width": 10, "height": 14},
    {"id": 1015, "kind": "checkbox", "text": "Use the packed viewer archive", "label": "", "x": 14, "y": 94, "width": 110, "height": 10},
    {"id": 1016, "kind": "checkbox", "text": "Allow playback of recorded values", "label": "", "x": 14, "y": 110, "width": 110, "height": 10},
    {"id": -1, "kind": "group", "text": "Image files", "label": "", "x": 135, "y": 52, "width": 120, "height": 82},
    {"id": 1018, "kind": "radio", "text": "BMP (exact colours, larger files)", "label": "", "x": 142, "y": 70, "width": 108, "height": 10},
    {"id": 1017, "kind": "radio", "text": "JPEG (smaller files)", "label": "", "x": 142, "y": 86, "width": 108, "height": 10},
    {"id": 1, "kind": "default-button", "text": "OK", "label": "", "x": 91, "y": 144, "width": 50, "height": 14},
    {"id": 2, "kind": "button", "text": "Cancel", "label": "", "x": 147, "y": 144, "width": 50, "height": 14},
    {"id": 1002, "kind": "button", "text": "Apply", "label": "", "x": 203, "y": 144, "width": 50, "height": 14}
  ]
})json";

// Directory picker: a file dialog whose file controls (1089, 1090, 1120,
// 1136, 1152) are hidden, so that only the directory list 1121 is used; the
// dialog returns the path of a file "Junk" in the chosen directory.
constexpr const char kDirectoryDialog[] = R"json({
  "id": 1536, "caption": "Choose the Output Directory", "width": 280, "height": 134,
  "controls": [
    {"id": 1090, "kind": "static", "text": "File name:", "label": "", "x": 6, "y": 6, "width": 90, "height": 9},
    {"id": 1152, "kind": "edit", "text": "", "label": "", "x": 6, "y": 16, "width": 90, "height": 12},
    {"id": 1120, "kind": "listbox", "text": "", "label": "", "x": 6, "y": 32, "width": 90, "height": 68},
    {"id": -1, "kind": "static", "text": "Directories:", "label": "", "x": 110, "y": 6, "width": 92, "height": 9},
    {"id": 1088, "kind": "static", "text": "", "label": "", "x": 110, "y": 16, "width": 92, "height": 9},
    {"id": 1121, "kind": "listbox", "text": "", "label": "", "x": 110, "y": 28, "width": 92, "height": 98},
    {"id": 1089, "kind": "static", "text": "File type:", "label": "", "x": 6, "y": 104, "width": 90, "height": 9},
    {"id": 1136, "kind": "combobox", "text": "", "label": "", "x": 6, "y": 114, "width": 90, "height": 14},
    {"id": 1, "kind": "default-button", "text": "OK", "label": "", "x": 222, "y": 6, "width": 50, "height": 14},
    {"id": 2, "kind": "button", "text": "Cancel", "label": "", "x": 222, "y": 24, "width": 50, "height": 14}
  ]
})json";

// Progress window: one status line and Cancel.
constexpr const char kProgressDialog[] = R"json({
  "id": 8100, "caption": "Converting Picture", "width": 220, "height": 62,
  "controls": [
    {"id": 1003, "kind": "static", "text": "", "label": "", "x": 10, "y": 10, "width": 200, "height": 20},
    {"id": 2, "kind": "button", "text": "Cancel", "label": "", "x": 85, "y": 40, "width": 50, "height": 14}
  ]
})json";

// Node-name prompt: the object that needs a node's clock (1005, filled by
// the caller) and the node name to use (1030).
constexpr const char kNodeDialog[] = R"json({
  "id": 8300, "caption": "Node Name", "width": 240, "height": 110,
  "controls": [
    {"id": 1005, "kind": "edit", "text": "", "label": "The current time or date of a node is shown by:", "x": 10, "y": 18, "width": 220, "height": 14},
    {"id": -1, "kind": "static", "text": "Enter the node whose clock the web page should show.", "label": "", "x": 10, "y": 38, "width": 220, "height": 9},
    {"id": 1030, "kind": "edit", "text": "", "label": "Node name:", "x": 10, "y": 60, "width": 120, "height": 14},
    {"id": 1, "kind": "default-button", "text": "OK", "label": "", "x": 124, "y": 86, "width": 50, "height": 14},
    {"id": 2, "kind": "button", "text": "Cancel", "label": "", "x": 180, "y": 86, "width": 50, "height": 14}
  ]
})json";

struct DialogEntry {
  int id;
  const char* description;
};

constexpr DialogEntry kDialogs[] = {
    {146, kOptionsDialog},
    {1536, kDirectoryDialog},
    {8100, kProgressDialog},
    {8300, kNodeDialog},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* QuillonResourceDialog(int id) {
  for (const DialogEntry& entry : kDialogs) {
    if (entry.id == id) return entry.description;
  }
  return nullptr;
}

static_assert(std::is_same_v<decltype(&QuillonResourceDialog), QuillonResourceDialogFn>,
              "the dialog lookup must match the module's binary interface");
