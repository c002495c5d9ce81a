// The expression translator.
#include "expression/translator.h"

#include <cctype>
#include <vector>

#include "driver/dialogs.h"
#include "driver/settings.h"
#include "model/picture_map.h"
#include "platform/format.h"
#include "platform/text_file.h"
#include "writer/value_mapping.h"

namespace quillon {
namespace {

constexpr char kOperatorCharacters[] = "<>*+-=/%^()";
constexpr char kTokenOperatorCharacters[] = "<>*+-=/()";
constexpr char kThisNode[] = "THISNODE";
constexpr char kBreaksPage[] =
    ": the data source holds a blank, parenthesis, quote or line end where the page description "
    "takes it unquoted; the animation is not converted.";

// Backslashes and quotes of a word placed inside the quoted expression text,
// escaped as the writer's quoting escapes them.
std::string EscapedInQuotes(const std::string& word) {
  std::string escaped;
  for (char c : word) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}
// A user who never answers the node prompt gets the local node after this
// many prompts, so that no host can keep a conversion waiting for ever.
constexpr int kMaxNodePrompts = 100;

bool ContainsAny(const std::string& text, const char* characters) {
  return text.find_first_of(characters) != std::string::npos;
}

bool StartsWithDigit(const std::string& text) {
  return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]));
}

// The text before the first "." (all of it without one), trimmed.
std::string HeadOf(const std::string& source) {
  return TrimBlanks(source.substr(0, source.find('.')));
}

// The text after the first "." (empty without one).
std::string AfterFirstDot(const std::string& source) {
  size_t dot = source.find('.');
  return dot == std::string::npos ? std::string() : source.substr(dot + 1);
}

// Blanks that pad an alarm-status word inside an expression.
int PaddingOf(const std::string& word) {
  struct Row {
    const char* word;
    int blanks;
  };
  static const Row kRows[] = {
      {"COS", 1},   {"CFN", 1},   {"DEV", 1},    {"FLT", 1},    {"OK", 2},
      {"LO", 2},    {"HI", 2},    {"DEVICE", 2}, {"ACCESS", 2}, {"UNDER", 3},
      {"RANGE", 3}, {"OVER", 4},  {"COMM", 4},   {"IOF", 5},    {"OCD", 5},
  };
  for (const Row& row : kRows) {
    if (word == row.word) return row.blanks;
  }
  return 0;
}

enum class TokenClass { kOperator, kText, kOther };

TokenClass Classify(const std::string& token) {
  if (ContainsAny(token, kTokenOperatorCharacters) && token.size() <= 2) {
    return TokenClass::kOperator;
  }
  if (token == "AND" || token == "OR" || token == "XOR" || token == "NOT") {
    return TokenClass::kOperator;
  }
  if (StartsWithDigit(token)) return TokenClass::kOperator;
  if (!token.empty() && token.front() == '"' && token.back() == '"') return TokenClass::kText;
  return TokenClass::kOther;
}

}  // namespace

ExpressionTranslator::ExpressionTranslator(ConversionLog* log, Registry* registry,
                                           ProcessState* state, const PictureMap* pictures,
                                           const std::string& jdf_path)
    : log_(log), registry_(registry), state_(state), pictures_(pictures) {
  size_t separator = LastSeparator(jdf_path);
  std::string file = separator == std::string::npos ? jdf_path : jdf_path.substr(separator + 1);
  picture_name_ = file.substr(0, file.find('.'));
}

std::string ExpressionTranslator::LocalNodeName(const std::string& fallback) {
  std::string node;
  if (registry_ != nullptr &&
      ReadSettingValue(log_->services(), registry_, kNodeNameKey, kAnyLength, &node)) {
    return node;
  }
  return fallback;
}

int ExpressionTranslator::TranslateSource(std::string* source, const std::string& context,
                                          std::string* object_text, std::string* links,
                                          std::string* error) {
  const int result = TranslateSourceText(source, context, object_text, links, error);
  if ((result == kReference || result == kNumber || result == kOperatorText) &&
      !IsPageWord(*source)) {
    *error = kBreaksPage;
    return kNotTranslatable;
  }
  return result;
}

int ExpressionTranslator::TranslateSourceText(std::string* source, const std::string& context,
                                              std::string* object_text, std::string* links,
                                              std::string* error) {
  *source = TrimBlanks(*source);
  if (ContainsAny(*source, kOperatorCharacters) && source->find(' ') != std::string::npos) {
    return TranslateExpression(source, context, object_text, links, error) ? kExpression
                                                                           : kNotTranslatable;
  }
  const std::string local = registry_ != nullptr ? FindOpcDataSource(registry_) : std::string();
  std::string head = HeadOf(*source);
  if (StartsWithDigit(head)) return kNumber;
  if (ContainsAny(head, kOperatorCharacters)) return kOperatorText;

  const Services& services = log_->services();
  if (registry_ != nullptr && IsOptionSet(registry_) &&
      EqualsIgnoringCase(head, services.Text(kResLocalNodeAlias))) {
    const std::string rest = AfterFirstDot(*source);
    size_t dot = rest.find('.');
    if (dot != std::string::npos && dot > 30) {
      log_->WriteLogLine(*source + " -- " + services.Text(kResTagTooLong), kLogWarning);
    }
    *source = local + ".THISNODE." + rest;
    head = local;
  }

  if (head == local) {
    std::string value = TrimBlanks(AfterFirstDot(*source));
    if (value.find('.') != std::string::npos &&
        EqualsIgnoringCase(HeadOf(value), kThisNode)) {
      value = LocalNodeName(HeadOf(value)) + "." + AfterFirstDot(value);
    }
    size_t dot = value.find('.');
    if (dot == std::string::npos) return kNotTranslatable;
    value[dot] = ':';
    value = "Source1." + value;
    size_t underscore = value.rfind('_');
    if (underscore != std::string::npos && underscore >= 2 && value[underscore - 2] == '.') {
      char field = value[underscore - 1];
      if (field != 'A' && field != 'F' && field != 'a' && field != 'f') {
        value[underscore - 1] = 'F';
      }
    }
    std::string cleaned;
    for (char c : value) {
      if (c != '\\') cleaned += c;
    }
    *source = cleaned;
    return kReference;
  }

  if (head == "System") {
    std::string system;
    if (!TranslateSystemValue(AfterFirstDot(*source), &system, context)) return kNotTranslatable;
    *source = "Source1." + system;
    return kReference;
  }

  if (head == picture_name_) {
    const std::string reference = AfterFirstDot(*source);
    size_t dot = reference.rfind('.');
    if (dot == std::string::npos) {
      *error = services.Text(kResNoPropertyPart);
      return kNotTranslatable;
    }
    std::string object_path = reference.substr(0, dot);
    const std::string property = reference.substr(dot + 1);
    std::string class_name;
    if (pictures_ != nullptr && FindObjectClass(*pictures_, object_path, &class_name)) {
      if (!MakeSourceReference(&object_path, class_name)) {
        *error = services.Text(kResNotAnAnimation);
        return kNotTranslatable;
      }
    } else if (object_misses_ != nullptr) {
      object_misses_->push_back(object_path);
    }
    std::string viewer;
    int kind = 0;
    if (!MapPropertyName(property, &viewer, &kind)) {
      *error = services.Text(kResNoViewerProperty);
      return kNotTranslatable;
    }
    if (class_name == "Linear" && viewer == "out") viewer = "outFloat";
    *source = object_path + "." + viewer;
    return kReference;
  }

  *error = services.Text(head == "User" ? kResUserData : kResUnknownHead);
  return kNotTranslatable;
}

int ExpressionTranslator::TranslateExpression(std::string* source, const std::string& context,
                                              std::string* object_text, std::string* links,
                                              std::string* error) {
  const int number = ++state_->expressions;
  std::vector<std::string> tokens;
  std::string rest = *source;
  for (;;) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string::npos) break;
    rest.erase(0, start);
    size_t blank = rest.find(' ');
    tokens.push_back(TrimBlanks(rest.substr(0, blank)));
    if (blank == std::string::npos) break;
    rest.erase(0, blank);
  }

  std::string expression;
  std::string collected_links;
  int input = 0;
  for (const std::string& token : tokens) {
    switch (Classify(token)) {
      case TokenClass::kOperator:
        expression += token == "=" ? "==" : token;
        continue;
      case TokenClass::kText: {
        std::string word;
        for (char c : token) {
          if (c != '"') word += c;
        }
        word += std::string(static_cast<size_t>(PaddingOf(word)), ' ');
        expression += "\\\"" + EscapedInQuotes(word) + "\\\"";
        continue;
      }
      case TokenClass::kOther:
        break;
    }
    std::string translated = token;
    int result = TranslateSourceText(&translated, context, nullptr, nullptr, error);
    if (result == kReference && !IsPageWord(translated)) {
      // Its link names it unquoted.
      *error = kBreaksPage;
      result = kNotTranslatable;
    }
    if (result == kNumber || result == kOperatorText) {
      // Inside the expression's quotes.
      translated = EscapedInQuotes(translated);
      expression += translated == "=" ? "==" : translated;
    } else if (result == kReference) {
      AppendF(&expression, "$%d", input);
      AppendF(&collected_links, "\t(Exp%d.expval[%d] %s)\n", number, input, translated.c_str());
      ++input;
    } else if (result == kNotTranslatable) {
      if (object_text != nullptr) object_text->clear();
      if (links != nullptr) links->clear();
      return 0;
    }
  }
  if (object_text != nullptr) {
    *object_text = StringF("(Exp%d TAVExpression\n\t(properties\n\t\t(expression ", number) +
                   "\"" + expression + "\")))\n";
  }
  if (links != nullptr) *links = collected_links;
  *source = StringF("Exp%d.out", number);
  return 1;
}

int ExpressionTranslator::TranslateSystemValue(const std::string& name, std::string* source,
                                               const std::string& context) {
  const bool time = EqualsIgnoringCase(name, "CurrentTime");
  if (!time && !EqualsIgnoringCase(name, "CurrentDate")) return 0;
  const Services& services = log_->services();
  for (int prompts = 0;; ++prompts) {
    if (prompts == kMaxNodePrompts || services.ui == nullptr) {
      if (TrimBlanks(state_->remembered_node).empty()) state_->remembered_node = kThisNode;
      break;
    }
    CGetNodeDlg prompt(services);
    prompt.node_name = state_->remembered_node;
    prompt.explanation = context;
    int answer = services.ui->RunModal(&prompt);
    state_->remembered_node = TrimBlanks(prompt.node_name);
    if (answer == kIdOk && !state_->remembered_node.empty()) break;
  }
  if (EqualsIgnoringCase(state_->remembered_node, kThisNode)) {
    state_->remembered_node = LocalNodeName(kThisNode);
  }
  *source = state_->remembered_node + (time ? ":SYSTEM.A_NTIME" : ":SYSTEM.A_NDATE");
  return 1;
}

}  // namespace quillon
