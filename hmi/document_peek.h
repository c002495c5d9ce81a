// A quick look at a document file's own interface refusals, before the
// document is loaded: the HMI's document class refuses an interface as soon
// as it is made for a file, while the stand-in learns a document's
// refusals only when it loads it.
#ifndef QUILLON_HMI_DOCUMENT_PEEK_H_
#define QUILLON_HMI_DOCUMENT_PEEK_H_

#include <string>
#include <vector>

#include "reader/hmi/com.h"

namespace quillon {
namespace standin {

// The interfaces named by the top-level "refuse" list of the document text
// `text`; empty when there is none or the text is not a JSON object (the
// load then says what is wrong). Only that list is parsed: everything else
// is skipped in one pass.
std::vector<hmi::InterfaceId> PeekDocumentRefusals(const std::string& text);

}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_HMI_DOCUMENT_PEEK_H_
