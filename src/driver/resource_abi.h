// The binary interface between the converter and its resource module
// (libQuillonDllResource.so). Both sides include this header; the converter
// looks the two functions up by name after loading the module.
#ifndef QUILLON_DRIVER_RESOURCE_ABI_H_
#define QUILLON_DRIVER_RESOURCE_ABI_H_

// Name the converter loads the module by, through the normal library search.
#define QUILLON_RESOURCE_MODULE_NAME "libQuillonDllResource.so"

extern "C" {

// Returns the text of string `id` (1 to 142), or nullptr when the module has
// no string of that number. The text is static and lives as long as the module.
typedef const char* (*QuillonResourceStringFn)(int id);

// Returns the description of dialog `id` (146, 1536, 8100, 8300) as a JSON
// object text, or nullptr when the module has no such dialog:
//   {"id": 146, "caption": "...", "width": W, "height": H,
//    "controls": [{"id": 1001, "kind": "edit", "text": "", "label": "...",
//                  "x": X, "y": Y, "width": W, "height": H}, ...]}
// "kind" is one of "static", "edit", "button", "default-button", "checkbox",
// "radio", "updown", "listbox", "combobox", "group".
typedef const char* (*QuillonResourceDialogFn)(int id);

}  // extern "C"

#define QUILLON_RESOURCE_STRING_SYMBOL "QuillonResourceString"
#define QUILLON_RESOURCE_DIALOG_SYMBOL "QuillonResourceDialog"

#endif  // QUILLON_DRIVER_RESOURCE_ABI_H_
