// The expression translator: rewrites an HMI data source (a process value,
// a system value, a property of another animation, a number or an
// expression) into the viewer's terms: an item of the page's data source, a
// viewer object's property, or a TAVExpression object with its input links.
#ifndef QUILLON_EXPRESSION_TRANSLATOR_H_
#define QUILLON_EXPRESSION_TRANSLATOR_H_

#include <string>
#include <vector>

#include "driver/conversion_log.h"
#include "expression/process_state.h"
#include "model/picture_map.h"

namespace quillon {

class Registry;

// Results of TranslateSource.
enum TranslateResult : int {
  kNotTranslatable = 0,
  kExpression = 1,
  kReference = 2,
  kNumber = 3,
  kOperatorText = 4,
};

// Resource strings of the translator.
enum : int {
  kResNoPropertyPart = 42,
  kResNoViewerProperty = 43,
  kResUserData = 44,
  kResUnknownHead = 45,
  kResNotAnAnimation = 69,
  kResLocalNodeAlias = 141,
  kResTagTooLong = 142,
};

class ExpressionTranslator {
 public:
  // Translates for the page whose JDF file is `jdf_path`, whose records are
  // `pictures` (for references to other animations), with settings in
  // `registry` and the process-wide numbers and node in `state`. Messages
  // go to `log` and the user interface of its services.
  ExpressionTranslator(ConversionLog* log, Registry* registry, ProcessState* state,
                       const PictureMap* pictures, const std::string& jdf_path);

  // Rewrites `source`; returns a TranslateResult. For an expression the
  // viewer object and its links are returned too; on failure `error` may
  // name the reason. A reference, number or operator text that the page
  // would hold unquoted and that holds a blank, TAB, parenthesis, quote,
  // apostrophe, line end or NUL (which would break the page's structure) is
  // not translatable, with that reason.
  int TranslateSource(std::string* source, const std::string& context, std::string* object_text,
                      std::string* links, std::string* error);
  int TranslateExpression(std::string* source, const std::string& context,
                          std::string* object_text, std::string* links, std::string* error);
  int TranslateSystemValue(const std::string& name, std::string* source,
                           const std::string& context);
  // The node name kept in the settings, or `fallback`.
  std::string LocalNodeName(const std::string& fallback);

  // The picture name that references to other animations start with.
  const std::string& picture_name() const { return picture_name_; }

  // While set, the object paths of references that were not found among
  // the page's objects are appended to `misses` (null stops it): a writer
  // that runs while the page is still being read checks them again.
  void set_object_misses(std::vector<std::string>* misses) { object_misses_ = misses; }

 private:
  // TranslateSource without the check that a reference or value written
  // unquoted on the page keeps the page's structure.
  int TranslateSourceText(std::string* source, const std::string& context,
                          std::string* object_text, std::string* links, std::string* error);

  ConversionLog* log_;
  Registry* registry_;
  ProcessState* state_;
  const PictureMap* pictures_;
  std::string picture_name_;
  std::vector<std::string>* object_misses_ = nullptr;
};

}  // namespace quillon

#endif  // QUILLON_EXPRESSION_TRANSLATOR_H_
