// Reading a stand-in document's JSON text into its object tree.
#ifndef QUILLON_HMI_DOCUMENT_LOADER_H_
#define QUILLON_HMI_DOCUMENT_LOADER_H_

#include <cstddef>
#include <string>

#include "hmi/document.h"

namespace quillon {
namespace standin {

// Room the JSON parser reads past the end of a text. A text whose string
// has at least this much capacity left over is parsed where it is; any
// other is first copied into a buffer with that room.
constexpr size_t kDocumentTextPadding = 64;

// Fills `document` (empty beforehand) from `text`. `origin` is the path the
// text came from (default name, folder of image files). Returns false with a
// message in *error when the text is not a well-formed document; the
// document must then be reset by the caller.
bool LoadDocumentTree(const std::string& text, const std::string& origin,
                      const LoadOptions& options, Document* document, std::string* error);

// The number of loads in this process so far that loaded a document's
// objects on two threads (see LoadOptions::parallel_load_objects).
int ParallelPieceLoads();

// The deepest nesting of JSON arrays and objects in `text` (texts inside
// strings do not count). Used to refuse documents whose nesting would be
// too deep to walk before anything is parsed.
int JsonNestingDepth(const std::string& text);

}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_HMI_DOCUMENT_LOADER_H_
